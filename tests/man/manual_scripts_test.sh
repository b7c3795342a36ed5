#!/usr/bin/env bash
# Runs the test station's script that korvane-diagnose's manual prints, as a
# reader would copy it from the page, against simulated boards: the shell
# script of the Linux page with the built programs, or the batch file of
# the Windows manual (korvane-diagnose.txt) with the .exe programs in Wine's
# cmd. Each board's verdict must come out as the script's exit status.
#
#   manual_scripts_test.sh linux GROFF PAGE KORVANE DIAGNOSE BOARDSIM
#   manual_scripts_test.sh windows TEXT KORVANE_EXE DIAGNOSE_EXE BOARDSIM
#                          PORT_SANDBOX WINE WINE_PREFIX_SH [WINE_PREFIX]
#
# Without WINE_PREFIX (the Wine suite's, with its server running) the
# Windows run makes a fresh prefix of its own with WINE_PREFIX_SH.
set -euo pipefail
mode=$1
shift

tmp=$(mktemp -d)
boardsim_pid=
own_prefix=
sandbox=
wine_prefix_sh=
stop_board() {
  if [ -n "$boardsim_pid" ]; then
    kill "$boardsim_pid" 2>/dev/null || true
    wait "$boardsim_pid" 2>/dev/null || true
    boardsim_pid=
  fi
}
cleanup() {
  stop_board
  if [ -n "$own_prefix" ]; then bash "$wine_prefix_sh" stop "$sandbox" "$own_prefix" || true; fi
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# The script that begins with the line FIRST, up to the first empty line,
# out of a page as the reader sees it, without the page's indentation.
script_from() {
  local first=$1
  awk -v first="$first" '
    { line = $0; sub(/\r$/, "", line) }
    !on && line ~ "^ +" first "$" { on = 1; match(line, /^ +/); indent = RLENGTH }
    on && line == "" { exit }
    on { print substr(line, indent + 1) }'
}

# start_board OPTIONS...: a simulated board with a link at $tmp/board.
# boardsim prints the line's path once the line and its link are made.
start_board() {
  rm -f "$tmp/board"
  coproc board { exec "$boardsim" --link "$tmp/board" "$@" 2>"$tmp/boardsim.err"; }
  boardsim_pid=$board_PID
  local line_path
  read -r -t 10 -u "${board[0]}" line_path || fail "boardsim made no line: $(cat "$tmp/boardsim.err")"
}

# Each case: the board's options ("none" for no board at all), the
# script's argument, what it prints last and its exit status. Without a
# board the port is a plain file, which korvane refuses. On Linux, a board
# marked "damaged" has a byte of its log's failed SDRAM trace changed after
# korvane wrote it, as noise on the line does.
cases=(
  "|board|PASS|0"
  "--data-stuck 5:1|board|FAIL: SDRAM|8"
  "--nand-never-ready|board|FAIL: FLASH|16"
  "--data-stuck 5:1 --nand-never-ready|board|FAIL: SDRAM and FLASH|24"
  "none|file|korvane failed|1"
)
damaged_case="damaged --data-stuck 5:1|board|NO VERDICT: a pass of the log cannot be read|1"

# run_case OPTIONS PORT LINE STATUS: runs the script in $tmp/station with
# run_script, against a board made with OPTIONS.
run_case() {
  local options=$1 port=$2 line=$3 expected=$4
  rm -f "$tmp/damage"
  if [ "${options#damaged }" != "$options" ]; then
    options=${options#damaged }
    : >"$tmp/damage"
  fi
  if [ "$options" = none ]; then
    : >"$tmp/file"
  else
    # shellcheck disable=SC2086
    start_board $options
  fi
  rm -f "$tmp/station/board.log" "$tmp/station/board.json"
  local status=0
  (cd "$tmp/station" && run_script "$tmp/$port") >"$tmp/out.txt" 2>"$tmp/err.txt" || status=$?
  stop_board
  tr -d '\r' <"$tmp/out.txt" >"$tmp/out-lf.txt"
  [ "$status" = "$expected" ] ||
    fail "board '$options': the script exited with $status, not $expected: $(tail -3 "$tmp/out-lf.txt") $(cat "$tmp/err.txt")"
  [ "$(tail -1 "$tmp/out-lf.txt")" = "$line" ] ||
    fail "board '$options': the script's last line is not '$line': $(tail -3 "$tmp/out-lf.txt")"
  if [ "$options" != none ]; then
    [ -s "$tmp/station/board.json" ] || fail "board '$options': no board.json"
  fi
}

mkdir "$tmp/station"
case $mode in
linux)
  groff=$1 page=$2 korvane=$3 diagnose=$4 boardsim=$5
  mkdir "$tmp/bin"
  # korvane as the script runs it; in a damaged case the log's data start
  # line ("D0", from byte 17) then reads "D" and the byte 0xb0.
  cat >"$tmp/bin/korvane" <<WRAPPER
#!/bin/sh
"$korvane" "\$@" || exit \$?
[ ! -e "$tmp/damage" ] || printf 'D\\260' | dd of=board.log bs=1 seek=17 conv=notrunc 2>/dev/null
WRAPPER
  chmod +x "$tmp/bin/korvane"
  cases+=("$damaged_case")
  ln -s "$diagnose" "$tmp/bin/korvane-diagnose"
  export PATH=$tmp/bin:$PATH
  "$groff" -man -Tascii -P-c -P-b -P-u -P-o -rHY=0 "$page" | script_from '#!/bin/sh' >"$tmp/station/test-board"
  [ -s "$tmp/station/test-board" ] || fail "no shell script in $page"
  chmod +x "$tmp/station/test-board"
  run_script() { ./test-board "$@"; }
  run_bare() { ./test-board; }
  ;;
windows)
  text=$1 korvane_exe=$2 diagnose_exe=$3 boardsim=$4 sandbox=$5 wine=$6 wine_prefix_sh=$7
  suite_prefix=${8:-}
  script_from '@echo off' <"$text" | sed 's/$/\r/' >"$tmp/station/test-board.bat"
  [ -s "$tmp/station/test-board.bat" ] || fail "no batch file in $text"
  cp "$korvane_exe" "$diagnose_exe" "$tmp/station/"
  [ -n "$suite_prefix" ] || own_prefix=$tmp/wine
  [ -z "$own_prefix" ] || bash "$wine_prefix_sh" start "$sandbox" "$own_prefix" || fail "no Wine prefix: $(cat "$own_prefix.wineboot.log")"
  export WINEPREFIX=${own_prefix:-$suite_prefix} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  # The line becomes a COM port numbered from 10 up, as the Wine suite maps
  # its lines: the pseudo-terminal's number keeps tests that run side by
  # side apart. The plain file takes a number far above those.
  run_script() {
    local target number
    target=$(readlink -f "$1")
    case $target in
    /dev/pts/*) number=$((10 + ${target##*/})) ;;
    *) number=$((1000 + $$ % 9000)) ;;
    esac
    ln -sfn "$target" "$WINEPREFIX/dosdevices/com$number"
    "$sandbox" "$wine" cmd /c test-board.bat "$number"
  }
  run_bare() { "$sandbox" "$wine" cmd /c test-board.bat; }
  ;;
*)
  fail "no such mode: $mode"
  ;;
esac
for case in "${cases[@]}"; do
  IFS='|' read -r options port line status <<<"$case"
  run_case "$options" "$port" "$line" "$status"
done
# Without an argument the script says how to call it.
status=0
(cd "$tmp/station" && run_bare) >"$tmp/out.txt" 2>&1 || status=$?
[ "$status" = 1 ] || fail "the script without an argument exited with $status, not 1"
tr -d '\r' <"$tmp/out.txt" | grep -q '^usage: test-board ' || fail "the script without an argument gave no usage: $(cat "$tmp/out.txt")"
echo "manual scripts ($mode): ok"
