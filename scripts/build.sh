#!/usr/bin/env bash
# Configures and builds into build/ (Release, see build-options.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/build-options.sh
cmake -S . -B build $(generator_for build) "${release_options[@]}" "$@" >/dev/null
cmake --build build -j "$(nproc)"
