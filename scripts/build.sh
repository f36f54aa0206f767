#!/usr/bin/env bash
# Configures and builds into build/ (Release at -O2, as shipped, without debug
# information, which would double the compile time).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/generator.sh
cmake -S . -B build $(generator_for build) -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" "$@" >/dev/null
cmake --build build -j "$(nproc)"
