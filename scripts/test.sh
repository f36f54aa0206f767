#!/usr/bin/env bash
# Sets up the machine, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh -DVEY_BUILD_TESTS=ON
ctest --test-dir build --output-on-failure -j "$(nproc)"
