#!/usr/bin/env bash
# Builds the installer and shows it on the built-in demo: generates the demo
# game folder and a copy of the demo mod in a scratch folder, then prints the
# configuration summary of the demo mod.
# The engine cannot install yet; once it can, this script installs the demo
# mod into the scratch game folder and prints the log and the verdict.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh -DVEY_BUILD_TESTS=OFF
cli=./build/cli/veypatcher-cli
"$cli" --version

scratch=$(mktemp -d "${TMPDIR:-/tmp}/veypatcher-demo.XXXXXX")
python3 demo/make_demo_game.py "$scratch"
echo
"$cli" summary --mod "$scratch/mod"
echo "Demo game and mod are in $scratch (remove it when done)."
