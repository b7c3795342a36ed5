#!/usr/bin/env bash
# Sets up the machine, builds korvane, korvane-station and the simulated
# board into build/, then runs korvane against the simulated board twice:
# once verbose, to show the download progress, the monitor's trace and the
# results, then once plain. Each run gets a freshly reset board, as an
# operator would reset a real one; the simulated line runs at the real
# 115200 baud, so that the progress and the timings are those of a real
# board. It ends with a test station: four simulated slots, each a stream
# of boards with a few faulty ones among them, the station's view while they
# run, its summary and the fault named for each failed board, then the
# records in its database. Last, a line: two stations sending their records
# to one korvane-line server, and the line's report. No boardsim, korvane or
# korvane-line is left running, even after Ctrl-C.
# BUILD_DIR names another build directory than build/.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}

bash scripts/setup.sh
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j2 --target korvane boardsim korvane-station korvane-line

work=$(mktemp -d)
board_pid=""
station_pid=""
scan_pid=""
line_pid=""
slot_pids=()

stop_board() {
  if [ -n "$board_pid" ]; then
    kill "$board_pid" 2>/dev/null || true
    wait "$board_pid" 2>/dev/null || true
    board_pid=""
  fi
}
# The station first, as Ctrl-C would stop it (it ends its korvane
# children), then the slots' boards.
stop_station() {
  if [ -n "$station_pid" ]; then
    kill -INT "$station_pid" 2>/dev/null || true
    wait "$station_pid" 2>/dev/null || true
    station_pid=""
  fi
  if [ -n "$scan_pid" ]; then
    kill "$scan_pid" 2>/dev/null || true
    wait "$scan_pid" 2>/dev/null || true
    scan_pid=""
  fi
  for pid in "${slot_pids[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  slot_pids=()
}
stop_line() {
  if [ -n "$line_pid" ]; then
    kill "$line_pid" 2>/dev/null || true
    wait "$line_pid" 2>/dev/null || true
    line_pid=""
  fi
}
trap 'stop_station; stop_board; stop_line; rm -rf "$work"' EXIT
trap 'exit 130' INT TERM

# Starts a board that has just been reset; its line appears at $work/port.
start_board() {
  rm -f "$work/port"
  "$build/bin/boardsim" --baud 115200 --link "$work/port" >"$work/boardsim.out" 2>"$work/boardsim.err" &
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
  "$build/bin/korvane" -p "$work/port" "$@"
  stop_board
}

run_korvane -v
run_korvane

# The station. Each slot's boardsim holds a stream of boards, one line of
# fault options each (an empty line is a sound board); the next board goes
# in when the station starts waking a board that has finished, as an
# operator would swap it.
slots=(a b c d)
boards_per_slot=3
printf '%s\n' '' '--data-stuck 5:1' '' >"$work/boards-a"
printf '%s\n' '' '' '--addr-short 3:7' >"$work/boards-b"
printf '%s\n' '--nand-id 00,f1,80,95' '' '' >"$work/boards-c"
printf '%s\n' '' '' '' >"$work/boards-d"
station_slots=()
for slot in "${slots[@]}"; do
  rm -f "$work/port-$slot"
  "$build/bin/boardsim" --baud 115200 --link "$work/port-$slot" --boards "$work/boards-$slot" \
    >"$work/boardsim-$slot.out" 2>"$work/boardsim-$slot.err" &
  slot_pids+=($!)
  station_slots+=("$slot=$work/port-$slot")
done
for slot in "${slots[@]}"; do
  for _ in $(seq 50); do
    [ -L "$work/port-$slot" ] && break
    sleep 0.1
  done
  [ -L "$work/port-$slot" ] || { echo "boardsim did not start:" >&2; cat "$work/boardsim-$slot.err" >&2; exit 1; }
done

db=$work/korvane-station.db
boards_recorded() {
  sqlite3 "$db" "SELECT count(*) FROM boards WHERE slot = '$1' AND outcome IN ('passed', 'failed')" \
    2>/dev/null || echo 0
}
# What a barcode scanner would type: each board's serial number, given to
# its slot as the board goes in.
scan_serials() {
  local slot n
  declare -A given
  for slot in "${slots[@]}"; do
    echo "$slot=KV-${slot^^}01"
    given[$slot]=1
  done
  while :; do
    for slot in "${slots[@]}"; do
      n=$(boards_recorded "$slot")
      if [ "$n" -ge "${given[$slot]}" ] && [ "${given[$slot]}" -lt "$boards_per_slot" ]; then
        given[$slot]=$((given[$slot] + 1))
        echo "$slot=KV-${slot^^}0${given[$slot]}"
      fi
    done
    sleep 0.2
  done
}

echo
echo "\$ korvane-station --db korvane-station.db --logs korvane-logs ${slots[*]/%/=...}"
# The station runs the korvane beside it, in the build's bin folder as in
# an installation.
mkfifo "$work/scanner"
# With job control on, the station does not start with Ctrl-C ignored, as
# a script's background commands otherwise do, so that stop_station can end
# it as an operator would.
set -m
"$build/bin/korvane-station" \
  --db "$db" --logs "$work/korvane-logs" --operator demo "${station_slots[@]}" <"$work/scanner" &
station_pid=$!
set +m
scan_serials >"$work/scanner" &
scan_pid=$!
while [ "$(sqlite3 "$db" "SELECT count(*) FROM boards WHERE outcome IN ('passed', 'failed')" 2>/dev/null || echo 0)" \
  -lt $((${#slots[@]} * boards_per_slot)) ]; do
  if ! kill -0 "$station_pid" 2>/dev/null; then
    echo "korvane-station ended before every board was tested" >&2
    exit 1
  fi
  sleep 0.2
done
# Every board is tested: the operator ends the run.
stop_station
echo "(Each simulated slot's boardsim ends after its last board, and its port"
echo "goes with it: the summary counts those slots as slot errors, as it would"
echo "a real port that went away while its slot waited for a board.)"

echo
echo "\$ sqlite3 -header -column korvane-station.db \"SELECT serial, slot, outcome, ... FROM boards ...\""
sqlite3 -header -column "$db" "SELECT serial, slot, outcome, round(seconds, 1) AS seconds,
  sdram_failed, flash_failed, coalesce(group_concat(words, '; '), '') AS faults
  FROM boards LEFT JOIN board_faults ON board_id = id
  GROUP BY id ORDER BY id"

# The line: one korvane-line server, two stations that each test a board on
# two slots and send their records to it, then the line's report.
echo
echo "\$ korvane-line serve --listen 0 --tokens tokens --db korvane-line.db"
(umask 077 && for s in line-1 line-2; do
  echo "$s $(head -c 24 /dev/urandom | base64)"
done >"$work/tokens")
for s in line-1 line-2; do
  (umask 077 && awk -v s="$s" '$1 == s { print $2 }' "$work/tokens" >"$work/$s.token")
done
"$build/bin/korvane-line" serve --listen 0 --tokens "$work/tokens" --db "$work/korvane-line.db" \
  >"$work/line.out" &
line_pid=$!
for _ in $(seq 50); do
  grep -q serving "$work/line.out" 2>/dev/null && break
  sleep 0.1
done
cat "$work/line.out"
line_url=$(grep -o 'http://[0-9.:]*' "$work/line.out")
for s in line-1 line-2; do
  slot_args=()
  for slot in a b; do
    rm -f "$work/port-$s-$slot"
    "$build/bin/boardsim" --link "$work/port-$s-$slot" >/dev/null 2>&1 &
    slot_pids+=($!)
    slot_args+=("$slot=$work/port-$s-$slot")
  done
  for slot in a b; do
    for _ in $(seq 50); do
      [ -L "$work/port-$s-$slot" ] && break
      sleep 0.1
    done
  done
  echo "\$ korvane-station --station $s --once --line $line_url --line-token $s.token a=... b=..."
  printf 'a=KV-%s-A\nb=KV-%s-B\n' "${s^^}" "${s^^}" |
    "$build/bin/korvane-station" --db "$work/$s.db" \
      --logs "$work/$s-logs" --station "$s" --once --line "$line_url" --line-token "$work/$s.token" \
      "${slot_args[@]}" | grep -E 'line:|station:' || true
done
stop_line
stop_station
echo
echo "\$ korvane-line report --db korvane-line.db"
"$build/bin/korvane-line" report --db "$work/korvane-line.db"
