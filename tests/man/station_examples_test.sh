#!/usr/bin/env bash
# Runs the test station's examples as a reader copies them, against
# simulated boards: the station command of each text (its serial ports
# swapped for boardsim's lines, and --once --test flash added so that it
# ends in seconds), the station running the korvane beside it; then, on the
# database it wrote, the text's queries and report commands. Each must give
# the boards as they were tested.
#
#   station_examples_test.sh linux README PAGE GROFF STATION BOARDSIM
#   station_examples_test.sh windows README_TXT STATION_TXT STATION_EXE
#                            KORVANE_EXE BOARDSIM PORT_SANDBOX WINE
#                            WINE_PREFIX_SH [WINE_PREFIX]
#
# linux: the README's and korvane-station(1)'s examples, with the station
# from the build's bin folder. windows: the zip's README.txt and
# korvane-station.txt, with the .exe programs side by side under Wine and
# each line a COM port; without WINE_PREFIX (the Wine suite's, with its
# server running) in a fresh prefix of its own.
set -euo pipefail
mode=$1
shift

tmp=$(mktemp -d)
board_pids=()
own_prefix=
sandbox=
wine_prefix_sh=
stop_boards() {
  for pid in "${board_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  board_pids=()
}
cleanup() {
  stop_boards
  if [ -n "$own_prefix" ]; then bash "$wine_prefix_sh" stop "$sandbox" "$own_prefix" || true; fi
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# The command of a text that begins with FIRST (a regular expression), its
# continuation lines joined (after a backslash, or within a quoted string)
# without their indentation.
command_from() {
  awk -v first="$1" '
    !on && $0 ~ "^ *" first { on = 1 }
    on {
      line = $0; sub(/\r$/, "", line); sub(/^ +/, "", line)
      quotes += gsub(/"/, "\"", line)
      cont = sub(/ *\\$/, "", line)
      printf "%s", line
      if (!cont && quotes % 2 == 0) exit
      printf " "
    }'
}

# start_board N [OPTIONS...]: board N, a boardsim with a link at
# $tmp/board<N>.
start_board() {
  local n=$1
  shift
  rm -f "$tmp/boardsim$n.out"
  "$boardsim" --link "$tmp/board$n" "$@" >"$tmp/boardsim$n.out" 2>"$tmp/boardsim$n.err" &
  board_pids+=($!)
  for _ in $(seq 100); do
    [ -s "$tmp/boardsim$n.out" ] && return
    sleep 0.1
  done
  fail "boardsim made no line: $(cat "$tmp/boardsim$n.err")"
}

# run_example NAME COMMAND: the station COMMAND (its program run as the
# array runner says) in the folder $tmp/NAME,
# with a board for each slot, the second with a flash of the wrong maker;
# the second board's serial is typed as the README says. Each slot's port
# becomes board_port's port for the board's line.
run_example() {
  local name=$1 command=$2 words slots=0 n=0 status=0
  read -r -a words <<<"$command"
  [ "${words[0]}" = "$program_name" ] || fail "$name: no station command: $command"
  for i in "${!words[@]}"; do
    if [[ ${words[$i]} =~ ^([a-z]+)=(.+)$ ]]; then
      local fault=()
      [ "$n" = 1 ] && fault=(--nand-id 00,f1,80,95)
      start_board "$n" "${fault[@]}"
      words[$i]=${BASH_REMATCH[1]}=$(board_port "$tmp/board$n")
      n=$((n + 1))
    fi
  done
  slots=$n
  (cd "$tmp/$name" && echo b=KV-0042 | timeout 300 "${runner[@]}" "${words[@]:1}" --once --test flash \
    >out.txt 2>err.txt) || status=$?
  stop_boards
  tr -d '\r' <"$tmp/$name/out.txt" >"$tmp/$name/out-lf.txt"
  [ "$status" = 16 ] || fail "$name: the station ended with $status, not 16: $(cat "$tmp/$name/err.txt")"
  grep -qF " station: $slots boards tested, $((slots - 1)) passed, 1 failed, 0 errors" "$tmp/$name/out-lf.txt" ||
    fail "$name: no summary of $slots boards: $(cat "$tmp/$name/out-lf.txt")"
  if [ -f "$tmp/$name/run.xml" ]; then
    [ "$(grep -c '<testsuite ' "$tmp/$name/run.xml")" = "$slots" ] || fail "$name: run.xml has not $slots boards"
    grep -qF 'name="FLASH pass 10"' "$tmp/$name/run.xml" || fail "$name: run.xml has no tenth pass"
  fi
}

today=$(date -u +%Y-%m-%d)
case $mode in
linux)
  readme=$1 page=$2 groff=$3 station=$4 boardsim=$5
  program_name=korvane-station
  board_port() { echo "$1"; }
  runner=("$station")

  # The README's station, its query and its report.
  mkdir "$tmp/readme"
  readme_command=$(command_from 'korvane-station --passes 10 --operator' <"$readme")
  run_example readme "$readme_command"
  cd "$tmp/readme"
  query=$(command_from 'sqlite3 korvane-station.db' <"$readme")
  [ -n "$query" ] || fail "the README has no sqlite3 query"
  eval "$query" | sort >rows.txt
  printf '%s\n' 'KV-0042|b|failed|maker 0x00 is neither 0x20 nor 0x2c' '|a|passed|' '|c|passed|' \
    '|d|passed|' | sort | diff - rows.txt || fail "the README's query gives other rows"
  korvane-station() { "$station" "$@"; }
  report_command=$(command_from '[$] korvane-station report' <"$readme")
  report_command=${report_command#\$ }
  eval "${report_command/2026-12-08/$today}" >report.txt || fail "the README's report exited with $?"
  grep -qxF 'Boards tested: 4 (passed 3, failed 1, errors 0, interrupted 0)' report.txt ||
    fail "the README's report: $(cat report.txt)"
  "$station" history KV-0042 | grep -qF ' failed ' || fail "the history of KV-0042 has no failed cycle"

  # The manual's station and its query, as the page prints them.
  "$groff" -man -Tascii -P-c -P-b -P-u -P-o -rHY=0 "$page" 2>/dev/null >"$tmp/page.txt"
  mkdir "$tmp/manual"
  manual_command=$(command_from 'korvane-station --passes 10 --junit' <"$tmp/page.txt")
  run_example manual "$manual_command"
  cd "$tmp/manual"
  query=$(command_from 'sqlite3 korvane-station.db' <"$tmp/page.txt")
  [ -n "$query" ] || fail "the manual has no sqlite3 query"
  [ "$(eval "$query")" = 'KV-0042|b|maker 0x00 is neither 0x20 nor 0x2c' ] ||
    fail "the manual's query: $(eval "$query")"
  ;;
windows)
  readme=$1 text=$2 station_exe=$3 korvane_exe=$4 boardsim=$5 sandbox=$6 wine=$7 wine_prefix_sh=$8
  suite_prefix=${9:-}
  program_name=korvane-station.exe
  [ -n "$suite_prefix" ] || own_prefix=$tmp/wine
  [ -z "$own_prefix" ] || bash "$wine_prefix_sh" start "$sandbox" "$own_prefix" ||
    fail "no Wine prefix: $(cat "$own_prefix.wineboot.log")"
  export WINEPREFIX=${own_prefix:-$suite_prefix} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  # The line becomes a COM port numbered from 10 up, as the Wine suite maps
  # its lines: the pseudo-terminal's number keeps tests that run side by
  # side apart.
  board_port() {
    local target
    target=$(readlink -f "$1")
    ln -sfn "$target" "$WINEPREFIX/dosdevices/com$((10 + ${target##*/}))"
    echo $((10 + ${target##*/}))
  }
  # The programs side by side in the example's folder, as in the zip.
  runner=("$sandbox" "$wine" ./korvane-station.exe)
  for name in readme manual; do
    mkdir "$tmp/$name"
    cp "$station_exe" "$korvane_exe" "$tmp/$name/"
  done

  # README.txt's station and its report.
  run_example readme "$(command_from 'korvane-station.exe --passes 10 a=' <"$readme")"
  cd "$tmp/readme"
  "$sandbox" "$wine" ./korvane-station.exe report </dev/null | tr -d '\r' >report.txt ||
    fail "README.txt's report exited with $?"
  grep -qxF 'Boards tested: 2 (passed 1, failed 1, errors 0, interrupted 0)' report.txt ||
    fail "README.txt's report: $(cat report.txt)"

  # The manual's station and its report as CSV, through cmd as typed.
  run_example manual "$(command_from 'korvane-station.exe --passes 10 --junit' <"$text")"
  cd "$tmp/manual"
  csv_command=$(command_from 'C:.Station> korvane-station.exe report .*--csv' <"$text")
  csv_command=${csv_command#*> }
  "$sandbox" "$wine" cmd /c "${csv_command/2026-12-09/$today}" </dev/null >/dev/null ||
    fail "the manual's CSV report exited with $?"
  grep -qF $'total,,,boards,4\r' today.csv || fail "the manual's CSV report: $(cat today.csv)"
  ;;
*)
  fail "no such mode: $mode"
  ;;
esac
echo "station examples ($mode): ok"
