#!/usr/bin/env bash
# Sets up the machine, builds everything (the Windows cross-build included)
# and runs every test, the format check among them: the unit, end-to-end,
# fuzz, Wine and install tests in build/ (the `ci` preset, which refuses to
# leave out a part), then the host, image, simulator and end-to-end tests
# again in build-asan/ (the `asan` preset), where everything compiled for
# this machine carries AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

status=0
cmake --preset ci
cmake --build --preset ci
ctest --preset ci || status=1

# How much each fuzzer ran, for the record.
grep -ho '^[a-z_]*_fuzz: Done [0-9]* runs in [0-9]* second(s)' build/Testing/Temporary/LastTest.log || true

cmake --preset asan
cmake --build --preset asan
ctest --preset asan || status=1
exit $status
