#!/usr/bin/env bash
# Builds deliberately faulty monitors, each one plausible slip in the real
# sources, and runs the unit, bus-level and end-to-end tests against each.
# Prints one row per mutant: whether any test caught it, and which. A
# benchmark of how much the tests and the simulated board see, not a test.
#   bench/monitor_mutants.sh [BUILD_DIR [NAMES]]
# BUILD_DIR defaults to build-mutants; NAMES, an extended regular
# expression, keeps only the mutants whose names it matches (all by default).
# The real sources are never edited: each mutant is a copy of monitor/ in
# BUILD_DIR/mutant-src, which one build tree reuses for every mutant.
#
# Only a test failure counts as caught. A mutant whose edit matches nothing
# ("NOT MADE"), that does not build ("NOT BUILT") or whose code comes out the
# same as the sound monitor's ("SAME CODE") is a broken mutant: it is
# reported on stderr as well, and the script then exits with status 1.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-build-mutants}
names=${2:-}
# A relative folder is taken from the top of the tree, an absolute one as it is.
case $build in
  /*) ;;
  *) build=$root/$build ;;
esac
src=$build/mutant-src
mkdir -p "$build"

# name | file | perl substitution over the whole file. The link refuses a
# monitor over its code budget, and the sound one comes within a few words of
# it, so each slip is written in a form that does not make the code larger.
mutants=(
  'transmitter wait dropped|uart.cpp|s/\n  while \(\(reg32\(UART_LSR\) & LSR_TX_EMPTY\) == 0\) \{\n  \}//'
  'transmitter wait on bit 1|hardware.h|s/LSR_TX_EMPTY = 0x20;/LSR_TX_EMPTY = 0x02;/'
  'receive wait dropped|uart.cpp|s/\n  while \(\(reg32\(UART_LSR\) & LSR_RX_READY\) == 0\) \{\n  \}//'
  'divisor for twice the rate|board_init.cpp|s/reg32\(UART_DATA\) = 0x59;/reg32(UART_DATA) = 0x2C;/'
  'seven-bit frame|board_init.cpp|s/reg32\(UART_LCR\) = 0x03;/reg32(UART_LCR) = 0x02;/'
  'NAND address cycle dropped|nand_id.cpp|s/\n  reg8\(NAND_ADDRESS\) = 0x00;//'
  'NAND address before Read ID|nand_id.cpp|s/(  reg8\(NAND_COMMAND\) = NAND_READ_ID;\n)(  reg8\(NAND_ADDRESS\) = 0x00;\n)/$2$1/'
  'NAND ready poll dropped|nand_id.cpp|s/\n  for \(uint32_t polls = READY_POLLS;.*?\n  \}\n  return false;/\n  return true;/s'
  'control register write missing|board_init.cpp|s/\n  change_bits\(CTRL_0104, 0x00000040, 0\);//'
  'control register writes swapped|board_init.cpp|s/(  change_bits\(CTRL_0140[^\n]*\n)(  change_bits\(CTRL_0144[^\n]*\n)/$2$1/'
  'SDRAM stores 32-bit|sdram_lines.cpp|s/\{ mem16\(address\) = value; \}/{ reg32(address) = value; }/'
  'address walk one step too far|sdram_lines.cpp|s/line = 1; line < words;/line = 1; line <= words;/'
  'address walk one cell short|sdram_lines.cpp|s/value = 0; value <= lines;/value = 0; value < lines;/g'
  'data walk one pair short|sdram_lines.cpp|s/walking_one <= 0x8000;/walking_one < 0x8000;/'
  'two'"'"'s complement for the pattern|sdram_lines.cpp|s/walking_zero = ~walking_one & 0xFFFF/walking_zero = -walking_one & 0xFFFF/'
  'SDRAM result precedence reversed|sdram_lines.cpp|s/  uint32_t result = 0;\n  if \((data_line_test\(SDRAM_BASE, store16\) != 0)\) result = 1;\n  if \((address_line_test[^\n]*) != 0\) result = 2;/  uint32_t result = $1;\n  if (result == 0 && $2 != 0) result = 2;/'
  'NAND checks out of order|nand_id.cpp|s/(  if \(!device_known\) result = 2;\n)(.*?  if \(!status_good\) result = 5;\n)/$2$1/s'
  'output not gated|uart.cpp|s/\n  if \(output_enabled == 0\) return;//'
  'slow-output wait skipped|uart.cpp|s/if \(output_enabled == 0 \|\| slow_output == 0\) return;/return;/'
  'leading zeros in hex|uart.cpp|s/\} while \(value != 0\);/} while (next != digits + 8);/'
  'control-block mask inverted|board_init.cpp|s/reg = \(reg & ~clear\) \| set;/reg = (reg \& clear) | set;/'
  'byte-wide UART store|uart.cpp|s/\n  reg32\(UART_DATA\) = byte;/\n  reg8(UART_DATA) = byte;/'
  'FIFOs not cleared|board_init.cpp|s/reg32\(UART_FCR\) = 0x87;/reg32(UART_FCR) = 0x81;/'
  'divisor latch left on|board_init.cpp|s/reg32\(UART_LCR\) = 0x03;/reg32(UART_LCR) = 0x83;/'
  'slow-output flag not set at start|monitor_main.cpp|s/\n  slow_output = 0;//'
  'relocation from an unloaded register|start.S|s/ldmia   r8!, \{r0-r7\}/ldmia   r11!, {r0-r7}/'
  'NAND Reset dropped|nand_id.cpp|s/\n  reg8\(NAND_COMMAND\) = NAND_RESET;//'
  'UART interrupts left on|board_init.cpp|s/\n  reg32\(UART_IER\) = 0x00;[^\n]*polls//'
  'slow-output wait 35% short|uart.cpp|s/SLOW_OUTPUT_COUNT = 200000;/SLOW_OUTPUT_COUNT = 130000;/'
  'data test with one read|sdram_lines.cpp|s/stored_level_holds = after_zero == pattern;/stored_level_holds = after_zero == pattern || at_once == pattern;/'
)

# The tests that run the monitor, in three stages: the image's unit tests,
# the bus-level bench, korvane against boardsim. A mutant is run through the
# stages in that order until one catches it, which keeps the run short (a
# caught end-to-end run waits for korvane's time-outs) and builds korvane
# only for mutants that get that far. Each: name, tests, target they need.
stages=('unit|^ImageBuilt|image_built_test'
  'bus-level|^Monitor|monitor_rig_test'
  'end-to-end|^e2e\.|korvane_e2e_test')

# Runs the stage's tests; sets failed to the names of those that failed,
# separated by spaces. Returns 1 when no test of the pattern ran at all, so
# that an empty stage never passes for a clean one.
run_stage_tests() {
  local output
  output=$({ ctest --test-dir "$build" -R "$1" -j2 --timeout 120 2>&1 || true; })
  failed=$(sed -n 's/^[[:space:]]*[0-9][0-9]* - \([^ ]*\) .*/\1/p' <<<"$output" | paste -sd' ' -)
  grep -q 'tests failed out of [1-9]' <<<"$output"
}

broken() {  # name, verdict, detail: a row, and the same on stderr
  printf '%-36s %-10s %s\n' "$1" "$2" "$3"
  printf 'monitor_mutants: broken mutant "%s": %s (%s)\n' "$1" "$2" "$3" >&2
  broken_count=$((broken_count + 1))
}

rm -rf "$src"
cp -r monitor "$src"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVANE_WINDOWS=OFF \
  -DKORVANE_FUZZ=OFF -DKORVANE_WINE_TESTS=OFF -DKORVANE_MONITOR_SOURCE_DIR="$src" >/dev/null
monitor_bin=$build/monitor/monitor.bin

# The sound monitor first: every stage must pass with it, or a failure
# would say nothing about a mutant. Its code is what "SAME CODE" compares to.
started=$SECONDS
for stage in "${stages[@]}"; do
  IFS='|' read -r stage_name pattern target <<<"$stage"
  if ! cmake --build "$build" -j2 --target monitor_raw "$target" >"$build/sound.log" 2>&1; then
    echo "monitor_mutants: the sound monitor's $stage_name tests do not build (see $build/sound.log)" >&2
    exit 1
  fi
  if ! run_stage_tests "$pattern"; then
    echo "monitor_mutants: no $stage_name tests ran ($pattern)" >&2
    exit 1
  fi
  if [ -n "$failed" ]; then
    echo "monitor_mutants: the sound monitor fails $stage_name tests: $failed" >&2
    exit 1
  fi
done
cp "$monitor_bin" "$build/sound-monitor.bin"
echo "sound monitor passes every stage ($((SECONDS - started)) s)"

printf '%-36s %-10s %s\n' mutant result 'caught by'
caught=0 broken_count=0 index=0 tried=0
for entry in "${mutants[@]}"; do
  IFS='|' read -r name file edit <<<"$entry"
  index=$((index + 1))
  if [ -n "$names" ] && ! grep -Eq -- "$names" <<<"$name"; then
    continue
  fi
  tried=$((tried + 1))
  rm -rf "$src"
  cp -r monitor "$src"
  if ! perl -0pi -e "$edit" "$src/$file" || cmp -s "monitor/$file" "$src/$file"; then
    broken "$name" 'NOT MADE' "the edit matched nothing in $file"
    continue
  fi
  log=$build/mutant-$index.log
  if ! cmake --build "$build" -j2 --target monitor_raw >"$log" 2>&1; then
    broken "$name" 'NOT BUILT' "see $log"
    continue
  fi
  if cmp -s "$build/sound-monitor.bin" "$monitor_bin"; then
    broken "$name" 'SAME CODE' "the edit left the monitor's code unchanged"
    continue
  fi
  verdict='NOT CAUGHT' by=''
  for stage in "${stages[@]}"; do
    IFS='|' read -r stage_name pattern target <<<"$stage"
    if ! cmake --build "$build" -j2 --target "$target" >"$log" 2>&1; then
      verdict='NOT BUILT' by="$stage_name tests, see $log"
      break
    fi
    if ! run_stage_tests "$pattern"; then
      verdict='NO TESTS' by="no $stage_name tests ran"
      break
    fi
    if [ -n "$failed" ]; then
      count=$(wc -w <<<"$failed")
      verdict=caught by="$stage_name: ${failed%% *}"
      [ "$count" -gt 1 ] && by="$by and $((count - 1)) more"
      caught=$((caught + 1))
      break
    fi
  done
  case $verdict in
    caught | 'NOT CAUGHT') printf '%-36s %-10s %s\n' "$name" "$verdict" "$by" ;;
    *) broken "$name" "$verdict" "$by" ;;
  esac
done
echo "caught $caught of $tried mutants ($((SECONDS - started)) s)"

# Leave the tree building the real monitor again.
rm -rf "$src"
cp -r monitor "$src"
if [ "$broken_count" -ne 0 ]; then
  echo "monitor_mutants: $broken_count broken mutants: their rows say nothing about the tests" >&2
  exit 1
fi
