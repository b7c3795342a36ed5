#!/usr/bin/env bash
# What korvane-station costs beside the boards' own time, and whether it
# stays flat over a day's boards. Prints figures beside their goals; a
# benchmark, not a test: it fails only when it cannot measure.
#
#   bench/station_bench.sh KORVANE BOARDSIM STATION [BOARDS]
#   (or: cmake --build <build> --target bench_station)
#
# 1. 16 slots of boardsim at 115200 baud, each boardsim holding a stream of
#    four sound boards: the first and third tested by 16 korvane processes
#    started by hand (korvane -v -l, as the station runs it), the second and
#    fourth by the station (--once), so that both drive the same boards in
#    the same run. On two cores sixteen emulated boards share the CPU: the
#    ratio of the two wall times measures the station, the times themselves
#    measure boardsim.
# 2. The station's own CPU (not its children's) over those runs, per slot.
# 3. BOARDS boards (default 1000) through 4 slots at full speed, one in ten
#    faulty: the station's resident memory and open files as the boards go
#    by, and the database's bytes per board.
# 4. 16 slots of boardsim at 115200 baud soaking (korvane -c -v, both tests,
#    the monitor's slow output on): one pass, then six, on fresh boards; the
#    difference of the two wall times is five passes of sixteen boards at
#    once on the machine's cores.
set -euo pipefail
korvane=$(realpath "$1") boardsim=$(realpath "$2") station=$(realpath "$3")
total_boards=${4:-1000}
work=$(mktemp -d)
pids=()
station_pid=
cleanup() {
  if [ -n "$station_pid" ]; then kill -INT "$station_pid" 2>/dev/null || true; wait "$station_pid" 2>/dev/null || true; fi
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
fail() { echo "station_bench: $*" >&2; exit 1; }
now() { date +%s.%N; }
ticks=$(getconf CLK_TCK)
# The process's own user and system time in seconds, children excluded.
own_cpu() { awk -v t="$ticks" '{ sub(/^.*\) /, ""); print ($12 + $13) / t }' "/proc/$1/stat" 2>/dev/null; }

# start_slots NAME COUNT BOARDS_FILE [boardsim options]: COUNT boardsims,
# their lines at $work/NAME-<i>.
start_slots() {
  local name=$1 count=$2 boards=$3 i
  shift 3
  for i in $(seq "$count"); do
    "$boardsim" "$@" --link "$work/$name-$i" --boards "$boards" >/dev/null 2>"$work/$name-$i.err" &
    pids+=($!)
  done
  for i in $(seq "$count"); do
    for _ in $(seq 100); do [ -L "$work/$name-$i" ] && break; sleep 0.1; done
    [ -L "$work/$name-$i" ] || fail "boardsim did not start: $(cat "$work/$name-$i.err")"
  done
}

# run_station ARGS...: the station in the background, its CPU sampled until
# it ends; sets station_cpu and station_wall.
run_station() {
  local start cpu
  start=$(now)
  # Job control keeps Ctrl-C, which ends the station, from being ignored
  # in it as it is in a script's background commands.
  set -m
  "$station" --korvane "$korvane" "$@" </dev/null >"$work/station.out" 2>&1 &
  station_pid=$!
  set +m
  station_cpu=0
  while kill -0 "$station_pid" 2>/dev/null; do
    cpu=$(own_cpu "$station_pid") && [ -n "$cpu" ] && station_cpu=$cpu
    sleep 0.1
  done
  wait "$station_pid" || true
  station_pid=
  station_wall=$(echo "$(now) - $start" | bc -l)
}

# 1 and 2.
slots=16
printf '\n\n\n\n' >"$work/sound-boards"
start_slots fast "$slots" "$work/sound-boards" --baud 115200
by_hand_runs() {
  local start i hand=()
  start=$(now)
  for i in $(seq "$slots"); do
    "$korvane" -p "$work/fast-$i" -v -l "$work/hand-$1-$i.log" >/dev/null 2>&1 &
    hand+=($!)
  done
  for pid in "${hand[@]}"; do wait "$pid" || fail "korvane by hand ended with $?"; done
  echo "$(now) - $start" | bc -l
}
station_args=(--once --db "$work/timing.db" --logs "$work/timing-logs")
for i in $(seq "$slots"); do station_args+=("s$i=$work/fast-$i"); done
hand_1=$(by_hand_runs 1)
run_station "${station_args[@]}"
station_1=$station_wall cpu_1=$station_cpu
hand_2=$(by_hand_runs 2)
run_station "${station_args[@]}"
station_2=$station_wall cpu_2=$station_cpu
for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
pids=()
recorded=$(sqlite3 "$work/timing.db" "SELECT count(*) FROM boards WHERE outcome = 'passed'")
[ "$recorded" = $((2 * slots)) ] || fail "the station recorded $recorded sound boards of $((2 * slots))"

echo "korvane-station against korvane by hand, $slots slots of boardsim at 115200 baud"
awk -v h1="$hand_1" -v h2="$hand_2" -v s1="$station_1" -v s2="$station_2" -v c1="$cpu_1" \
  -v c2="$cpu_2" -v n="$slots" 'BEGIN {
  printf "  by hand:           %6.1f s, %6.1f s\n", h1, h2
  printf "  under the station: %6.1f s, %6.1f s\n", s1, s2
  printf "  ratio:             %6.3f   (goal: at most 1.10)\n", (s1 + s2) / (h1 + h2)
  printf "  station CPU:       %6.2f s over %.1f s: %.3f%% of a core per slot (goal: at most 1%%)\n",
         c1 + c2, s1 + s2, 100 * (c1 + c2) / (s1 + s2) / n
}'

# 4.
slots=16
printf '\n\n' >"$work/soak-boards"
start_slots soak "$slots" "$work/soak-boards" --baud 115200
soak_run() {
  local args=(--once --passes "$1" --db "$work/soak.db" --logs "$work/soak-logs") i
  for i in $(seq "$slots"); do args+=("s$i=$work/soak-$i"); done
  run_station "${args[@]}"
  soaked=$(sqlite3 "$work/soak.db" "SELECT count(*) FROM boards WHERE outcome = 'passed'")
  [ "$soaked" = "$2" ] || fail "the station recorded $soaked soaked boards of $2"
}
soak_run 1 "$slots"
soak_1=$station_wall
soak_run 6 $((2 * slots))
soak_6=$station_wall
for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
pids=()
echo
echo "$slots slots of boardsim at 115200 baud soaking under the station (korvane -c -v)"
awk -v a="$soak_1" -v b="$soak_6" 'BEGIN {
  printf "  one pass: %6.1f s, six passes: %6.1f s\n", a, b
  printf "  a pass of all %d boards at once: %6.2f s: %.1f%% of the goal (at most 60 s)\n",
         '"$slots"', (b - a) / 5, 100 * (b - a) / 5 / 60
}'

# 3.
slots=4
per_slot=$(((total_boards + slots - 1) / slots))
: >"$work/stream"
for i in $(seq "$per_slot"); do
  if [ $((i % 10)) = 0 ]; then echo "--data-stuck $((i % 16)):1"; else echo; fi >>"$work/stream"
done
start_slots stream "$slots" "$work/stream"
args=(--db "$work/stream.db" --logs "$work/stream-logs")
for i in $(seq "$slots"); do args+=("s$i=$work/stream-$i"); done
set -m
"$station" --korvane "$korvane" "${args[@]}" </dev/null >"$work/station.out" 2>&1 &
station_pid=$!
set +m
echo
echo "$total_boards boards through $slots slots at full speed"
printf '  %8s %14s %10s\n' boards "resident (kB)" "open files"
next=0
start=$(now)
while :; do
  kill -0 "$station_pid" 2>/dev/null || fail "the station ended: $(tail -3 "$work/station.out")"
  done_boards=$(sqlite3 "$work/stream.db" "SELECT count(*) FROM boards WHERE outcome IN ('passed', 'failed')" 2>/dev/null || echo 0)
  if [ "$done_boards" -ge "$next" ]; then
    rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$station_pid/status")
    files=$(find "/proc/$station_pid/fd" -mindepth 1 -maxdepth 1 | wc -l)
    printf '  %8d %14d %10d\n' "$done_boards" "$rss" "$files"
    next=$((next + total_boards / 10))
  fi
  [ "$done_boards" -ge "$total_boards" ] && break
  sleep 0.5
done
elapsed=$(echo "$(now) - $start" | bc -l)
kill -INT "$station_pid"
wait "$station_pid" || true
station_pid=
rows=$(sqlite3 "$work/stream.db" "SELECT count(*) FROM boards")
# The write-ahead log is gone once the station has closed the database.
bytes=$({ cat "$work/stream.db"; cat "$work/stream.db-wal" 2>/dev/null || true; } | wc -c)
awk -v b="$bytes" -v r="$rows" -v e="$elapsed" -v n="$done_boards" 'BEGIN {
  printf "  database:  %d bytes for %d records: %.0f bytes per board (goal: under 4096)\n", b, r, b / r
  printf "  %d boards in %.0f s\n", n, e
}'
echo "  integrity: $(sqlite3 "$work/stream.db" 'PRAGMA integrity_check')"
