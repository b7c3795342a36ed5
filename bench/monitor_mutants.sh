#!/usr/bin/env bash
# Builds deliberately faulty monitors, each one plausible slip in the real
# sources, and runs the unit, bus-level and end-to-end tests against each.
# Prints one row per mutant: whether any test caught it, and which. A
# benchmark of how much the tests and the simulated board see, not a test.
#   bench/monitor_mutants.sh [BUILD_DIR]   (default: build-mutants)
# The real sources are never edited: each mutant is a copy of monitor/ in
# BUILD_DIR/mutant-src, which one build tree reuses for every mutant.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-build-mutants}
src=$build/mutant-src
mkdir -p "$build"

# name | file | perl substitution over the whole file
mutants=(
  'transmitter wait dropped|uart.cpp|s/\n  while \(\(reg32\(UART_LSR\) & LSR_TX_EMPTY\) == 0\) \{\n  \}//'
  'transmitter wait on bit 1|hardware.h|s/LSR_TX_EMPTY = 0x20/LSR_TX_EMPTY = 0x02/'
  'receive wait dropped|uart.cpp|s/\n  while \(\(reg32\(UART_LSR\) & LSR_RX_READY\) == 0\) \{\n  \}//'
  'divisor for twice the rate|board_init.cpp|s/reg32\(UART_DATA\) = 0x59/reg32(UART_DATA) = 0x2C/'
  'seven-bit frame|board_init.cpp|s/reg32\(UART_LCR\) = 0x03/reg32(UART_LCR) = 0x02/'
  'NAND address cycle dropped|nand_test.cpp|s/\n  reg8\(NAND_ADDRESS\) = 0x00;//'
  'NAND address before Read ID|nand_test.cpp|s/(  reg8\(NAND_COMMAND\) = NAND_READ_ID;\n)(  reg8\(NAND_ADDRESS\) = 0x00;\n)/$2$1/'
  'NAND ready poll dropped|nand_test.cpp|s/\n  while \(\(reg8\(NAND_DATA\) & STATUS_READY\) == 0 && --polls != 0\) \{\n  \}//'
  'control register write missing|board_init.cpp|s/\n  change_bits\(CTRL_0104, 0x00000040, 0\);//'
  'control register writes swapped|board_init.cpp|s/(  change_bits\(CTRL_0140[^\n]*\n)(  change_bits\(CTRL_0144[^\n]*\n)/$2$1/'
  'SDRAM stores 32-bit|sdram_test.cpp|s/\{ mem16\(address\) = value; \}/{ reg32(address) = value; }/'
  'address walk one step too far|sdram_test.cpp|s/line >> 1 < words/line >> 1 <= words/'
  'data walk one pair short|sdram_test.cpp|s/offset < 0x80/offset < 0x78/'
  'two'"'"'s complement for the pattern|sdram_test.cpp|s/pattern = ~pattern & 0xFFFF/pattern = -pattern & 0xFFFF/'
  'SDRAM result precedence reversed|sdram_test.cpp|s/uint32_t result = data_line_test\(SDRAM_BASE, store16\) != 0;\n  if \(address_line_test\(SDRAM_BASE, SDRAM_SIZE, store16\) != 0\) result = 2;/uint32_t data_failed = data_line_test(SDRAM_BASE, store16) != 0;\n  uint32_t result = address_line_test(SDRAM_BASE, SDRAM_SIZE, store16) != 0 ? 2 : 0;\n  if (data_failed) result = 1;/'
  'NAND checks in reverse order|nand_test.cpp|s/(  if \(device != 0xF1\) result = 2;\n)(.*?)(  if \(status != STATUS_GOOD\) result = 5;\n)/$3$2$1/s'
  'output not gated|uart.cpp|s/\n  if \(output_enabled == 0\) return;//'
  'slow-output wait skipped|uart.cpp|s/if \(output_enabled == 0 \|\| slow_output == 0\) return;/return;/'
  'leading zeros in hex|uart.cpp|s/\n  while \(shift != 0 && \(value >> shift\) == 0\) shift -= 4;//'
)

# The tests that run the monitor, in three stages: the image's unit tests,
# the bus-level bench, korvane against boardsim. A mutant is run through the
# stages in that order until one catches it, which keeps the run short (a
# caught end-to-end run waits for korvane's time-outs) and builds korvane
# only for mutants that get that far. Each: name, tests, target they need.
stages=('unit|^ImageBuilt|image_built_test'
  'bus-level|^Monitor|monitor_bench_test'
  'end-to-end|^e2e\.|korvane_e2e_test')

# Prints the tests of the stage's pattern that fail, separated by spaces.
failing_tests() {
  { ctest --test-dir "$build" -R "$1" -j2 --timeout 120 2>&1 || true; } |
    sed -n 's/^[[:space:]]*[0-9][0-9]* - \([^ ]*\) .*/\1/p' | paste -sd' ' -
}

rm -rf "$src"
cp -r monitor "$src"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVANE_WINDOWS=OFF \
  -DKORVANE_FUZZ=OFF -DKORVANE_WINE_TESTS=OFF -DKORVANE_MONITOR_SOURCE_DIR="$root/$src" >/dev/null

printf '%-36s %-10s %s\n' mutant result 'caught by'
caught=0
for entry in "${mutants[@]}"; do
  IFS='|' read -r name file edit <<<"$entry"
  rm -rf "$src"
  cp -r monitor "$src"
  perl -0pi -e "$edit" "$src/$file"
  if cmp -s "monitor/$file" "$src/$file"; then
    printf '%-36s %-10s %s\n' "$name" 'NOT MADE' "the edit matched nothing in $file"
    continue
  fi
  verdict='NOT CAUGHT' by=''
  for stage in "${stages[@]}"; do
    IFS='|' read -r stage_name pattern target <<<"$stage"
    if ! cmake --build "$build" -j2 --target "$target" >"$build/mutant.log" 2>&1; then
      verdict=caught by="$stage_name build (see $build/mutant.log)"
      caught=$((caught + 1))
      break
    fi
    failed=$(failing_tests "$pattern")
    if [ -n "$failed" ]; then
      count=$(wc -w <<<"$failed")
      verdict=caught by="$stage_name: ${failed%% *}"
      [ "$count" -gt 1 ] && by="$by and $((count - 1)) more"
      caught=$((caught + 1))
      break
    fi
  done
  printf '%-36s %-10s %s\n' "$name" "$verdict" "$by"
done
echo "caught $caught of ${#mutants[@]} mutants"

# Leave the tree building the real monitor again.
rm -rf "$src"
cp -r monitor "$src"
