#!/usr/bin/env bash
# Builds the installer and runs it on the built-in demo.
# The engine cannot install yet: for now this prints the example instruction
# file that the demo will install once it can.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh -DVEY_BUILD_TESTS=OFF
./build/cli/veypatcher-cli --version
echo "Example instruction file (demo/mod/veypatchdata/changes.ini):"
cat demo/mod/veypatchdata/changes.ini
