#!/usr/bin/env bash
# Sets up the machine, builds korvane and the simulated board into build/,
# then runs korvane against the simulated board twice: once verbose, to show
# the download progress, the monitor's trace and the results, then once
# plain. Each run gets a freshly reset board, as an operator would reset a
# real one; the simulated line runs at the real 115200 baud, so that the
# progress and the timings are those of a real board. No boardsim is left
# running, even after Ctrl-C.
# BUILD_DIR names another build directory than build/.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}

bash scripts/setup.sh
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j2 --target korvane boardsim

work=$(mktemp -d)
board_pid=""

stop_board() {
  if [ -n "$board_pid" ]; then
    kill "$board_pid" 2>/dev/null || true
    wait "$board_pid" 2>/dev/null || true
    board_pid=""
  fi
}
trap 'stop_board; rm -rf "$work"' EXIT
trap 'exit 130' INT TERM

# Starts a board that has just been reset; its line appears at $work/port.
start_board() {
  rm -f "$work/port"
  "$build/sim/boardsim/boardsim" --baud 115200 --link "$work/port" >"$work/boardsim.out" 2>"$work/boardsim.err" &
  board_pid=$!
  for _ in $(seq 50); do
    [ -L "$work/port" ] && return 0
    sleep 0.1
  done
  echo "boardsim did not start:" >&2
  cat "$work/boardsim.err" >&2
  exit 1
}

run_korvane() {
  start_board
  echo
  echo "\$ korvane -p $work/port $*"
  "$build/host/korvane" -p "$work/port" "$@"
  stop_board
}

run_korvane -v
run_korvane
