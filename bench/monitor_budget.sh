#!/usr/bin/env bash
# Prints the boot monitor's code size and deepest stack use beside their
# budgets. A benchmark, not a test: it fails only when it cannot measure.
#   bench/monitor_budget.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" --target monitor_budget boot_image_bin >/dev/null
"$build/bench/monitor_budget" "$build/image/boot_image.bin"
