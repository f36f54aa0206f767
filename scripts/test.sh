#!/usr/bin/env bash
# Sets up the machine, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh -DVEY_BUILD_TESTS=ON
ctest --test-dir build --output-on-failure -j "$(nproc)"

# Smoke run of the whole installer on the small shared workload, when it is
# beside the checkout: asserts success and correctness, not time.
shared="${VEY_SHARED_BENCH:-}"
for candidate in "$shared" ../shared/bench /work/shared/bench; do
  if [ -n "$candidate" ] && [ -f "$candidate/make_workload.py" ]; then
    python3 bench/whole-run --scale small --runs 1 --shared "$candidate"
    # Installs killed at 20 moments are recovered by the next run.
    python3 tests/crash/crash-test --shared "$candidate"
    exit 0
  fi
done
echo "Shared workload not found (set VEY_SHARED_BENCH); whole-run smoke test skipped."
