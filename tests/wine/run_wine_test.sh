#!/usr/bin/env bash
# korvane.exe under Wine against the simulated board. A fresh Wine prefix in
# the build tree; the board's pseudo-terminal is mapped to a COM port by a
# symbolic link in the prefix's dosdevices, as Wine maps every serial port.
# COM12, so that the device-namespace form for ports above 9 is exercised.
# Usage: run_wine_test.sh <korvane.exe> <boardsim> <work directory>
set -euo pipefail
exe=$1
boardsim=$2
work=$3

export WINEPREFIX=$work/prefix
export WINEDEBUG=-all
# No Gecko or Mono installer prompts for a console program.
export WINEDLLOVERRIDES="mscoree,mshtml="

board_pid=""
stop_board() {
  if [ -n "$board_pid" ]; then
    kill "$board_pid" 2>/dev/null || true
    wait "$board_pid" 2>/dev/null || true
    board_pid=""
  fi
}
cleanup() {
  stop_board
  wineserver -k 2>/dev/null || true
}
trap cleanup EXIT

rm -rf "$work"
mkdir -p "$work"
wineboot --init >"$work/wineboot.log" 2>&1
wineserver -w
# The server is started here, with its own output file: started by the first
# wine it would share korvane's standard error and write its state into it.
wineserver -p >"$work/wineserver.log" 2>&1

start_board() {
  rm -f "$work/port"
  "$boardsim" --link "$work/port" >"$work/boardsim.out" 2>"$work/boardsim.err" &
  board_pid=$!
  for _ in $(seq 50); do
    if [ -L "$work/port" ]; then
      ln -sfn "$(readlink -f "$work/port")" "$WINEPREFIX/dosdevices/com12"
      return 0
    fi
    sleep 0.1
  done
  echo "boardsim did not start:" >&2
  cat "$work/boardsim.err" >&2
  exit 1
}

failures=0
# check <name> <expected status> <expected text in the console output> <args...>
check() {
  local name=$1 want_status=$2 want_text=$3
  shift 3
  start_board
  local status=0
  timeout 60 wine "$exe" "$@" >"$work/$name.out" 2>"$work/$name.err" || status=$?
  stop_board
  # The console is in text mode: every newline comes out as CR LF.
  tr -d '\r' <"$work/$name.out" >"$work/$name.txt"
  tr -d '\r' <"$work/$name.err" >"$work/$name.errtxt"
  if [ "$status" -ne "$want_status" ] || ! grep -qzF -- "$want_text" "$work/$name.txt" "$work/$name.errtxt"; then
    echo "FAILED: $name (status $status, wanted $want_status)"
    echo "--- output"; cat "$work/$name.txt"; echo "--- errors"; cat "$work/$name.errtxt"
    failures=$((failures + 1))
  else
    echo "passed: $name"
  fi
}

check plain 0 $'Testing SDRAM... passed\nTesting FLASH... passed\n' -p 12
check verbose 0 $'Testing SDRAM...\n 0w' -v -p 12
grep -qzF $'passed\nTesting FLASH...\nM' "$work/verbose.txt" || { echo "FAILED: verbose trace"; failures=$((failures + 1)); }
check no_such_port 1 $'Could not open serial port COM13.\n' -p 13

[ "$failures" -eq 0 ]
