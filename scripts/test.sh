#!/usr/bin/env bash
# Sets up the machine, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh -DVEY_BUILD_TESTS=ON
ctest --test-dir build --output-on-failure -j "$(nproc)"

# The whole suite once more, built with AddressSanitizer, UndefinedBehavior-
# Sanitizer and the standard library's assertions: an out-of-bounds read or
# undefined behaviour stops the test instead of passing unseen. The desktop
# window stays out of this build. Line tables (-g1) are enough for the
# sanitizers' reports and compile a third faster than full debug information.
# VEY_SKIP_CHECKED=1 leaves it out entirely.
if [ -z "${VEY_SKIP_CHECKED:-}" ]; then
  cmake -S . -B build-checked -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g1 -O1" \
    -DVEY_CHECKED=ON -DVEY_BUILD_TESTS=ON -DVEY_BUILD_APP=OFF >/dev/null
  cmake --build build-checked -j "$(nproc)"
  ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 \
    UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    ctest --test-dir build-checked --output-on-failure -j "$(nproc)"
fi
