#!/usr/bin/env bash
# Sets up the machine, builds everything and runs every test.
#
# Two builds share the work:
# - build/: the program and the window as users get them, with the tests that
#   run them whole (the window's tests, the generated workload installed and
#   killed at many moments, the installed manual pages);
# - build-checked/: the installer's code built with AddressSanitizer,
#   UndefinedBehaviorSanitizer and the standard library's assertions, and
#   every test program run against it, so that an out-of-bounds read or
#   undefined behaviour stops the test instead of passing unseen. Line tables
#   (-g1) are enough for the sanitizers' reports.
# VEY_SKIP_CHECKED=1 leaves the checked build out and runs every test in
# build/ instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
source scripts/build-options.sh
jobs=$(nproc)

if [ -n "${VEY_SKIP_CHECKED:-}" ]; then
  bash scripts/build.sh -DVEY_BUILD_TESTS=ON
  ctest --test-dir build --output-on-failure -j "$jobs"
  exit 0
fi

cmake -S . -B build $(generator_for build) "${release_options[@]}" -DVEY_BUILD_TESTS=ON >/dev/null
targets=(veypatcher-cli)
if grep -q '^VEY_BUILD_APP:BOOL=ON' build/CMakeCache.txt; then targets+=(veypatcher tests_app); fi
cmake --build build -j "$jobs" --target "${targets[@]}"
ctest --test-dir build --output-on-failure -j "$jobs" -L program

cmake -S . -B build-checked $(generator_for build-checked) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g1 -O1" \
  -DVEY_CHECKED=ON -DVEY_BUILD_TESTS=ON -DVEY_BUILD_APP=OFF >/dev/null
cmake --build build-checked -j "$jobs"
ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 \
  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  ctest --test-dir build-checked --output-on-failure -j "$jobs" -LE program
