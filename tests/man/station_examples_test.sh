#!/usr/bin/env bash
# Runs the test station's examples of the README and of korvane-station(1)
# as a reader copies them, against simulated boards: the station command of
# each (its serial ports swapped for boardsim's lines, and --once --test
# flash added so that it ends in seconds), the station found in the build's
# bin folder and running the korvane beside it; then, on the database it
# wrote, the README's and the manual's sqlite3 queries and the report and
# history commands. Each must give the boards as they were tested.
#
#   station_examples_test.sh README PAGE GROFF STATION BOARDSIM
set -euo pipefail
readme=$1 page=$2 groff=$3 station=$4 boardsim=$5

tmp=$(mktemp -d)
board_pids=()
cleanup() {
  for pid in "${board_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
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

# start_boards N [OPTIONS...]: board N, a boardsim with a link at
# $tmp/board<N>, made before the station starts.
start_board() {
  local n=$1
  shift
  "$boardsim" --link "$tmp/board$n" "$@" >"$tmp/boardsim$n.out" 2>"$tmp/boardsim$n.err" &
  board_pids+=($!)
  for _ in $(seq 100); do
    [ -s "$tmp/boardsim$n.out" ] && return
    sleep 0.1
  done
  fail "boardsim made no line: $(cat "$tmp/boardsim$n.err")"
}

# run_example NAME COMMAND: the station COMMAND in its own folder, with
# four boards, the second with a flash of the wrong maker, and the second
# board's serial typed as the README says.
run_example() {
  local name=$1 command=$2
  mkdir "$tmp/$name"
  for n in 0 1 2 3; do
    local fault=()
    [ "$n" = 1 ] && fault=(--nand-id 00,f1,80,95)
    start_board "$n" "${fault[@]}"
  done
  read -r -a words <<<"${command//\/dev\/ttyUSB/$tmp/board}"
  [ "${words[0]}" = korvane-station ] || fail "$name: no station command: $command"
  words[0]=$station
  local status=0
  (cd "$tmp/$name" && echo b=KV-0042 | timeout 120 "${words[@]}" --once --test flash >out.txt 2>err.txt) ||
    status=$?
  for pid in "${board_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  board_pids=()
  [ "$status" = 16 ] || fail "$name: the station ended with $status, not 16: $(cat "$tmp/$name/err.txt")"
  grep -qF ' station: 4 boards tested, 3 passed, 1 failed, 0 errors, yield 75%' "$tmp/$name/out.txt" ||
    fail "$name: no summary of four boards: $(cat "$tmp/$name/out.txt")"
  [ "$(grep -c '<testsuite ' "$tmp/$name/run.xml")" = 4 ] || fail "$name: run.xml has not four boards"
  grep -qF 'name="FLASH pass 10"' "$tmp/$name/run.xml" || fail "$name: run.xml has no tenth pass"
}

# The README's station, its query and its report.
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
report_command=${report_command/2026-12-08/$(date -u +%Y-%m-%d)}
eval "$report_command" >report.txt || fail "the README's report exited with $?"
grep -qxF 'Boards tested: 4 (passed 3, failed 1, errors 0, interrupted 0)' report.txt ||
  fail "the README's report: $(cat report.txt)"
"$station" history KV-0042 | grep -qF ' failed ' || fail "the history of KV-0042 has no failed cycle"

# The manual's station and its query, as the page prints them.
"$groff" -man -Tascii -P-c -P-b -P-u -P-o -rHY=0 "$page" 2>/dev/null >"$tmp/page.txt"
manual_command=$(command_from 'korvane-station --passes 10 --junit' <"$tmp/page.txt")
run_example manual "$manual_command"
cd "$tmp/manual"
query=$(command_from 'sqlite3 korvane-station.db' <"$tmp/page.txt")
[ -n "$query" ] || fail "the manual has no sqlite3 query"
[ "$(eval "$query")" = 'KV-0042|b|maker 0x00 is neither 0x20 nor 0x2c' ] ||
  fail "the manual's query: $(eval "$query")"
echo "station examples: ok"
