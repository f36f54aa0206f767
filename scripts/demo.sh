#!/usr/bin/env bash
# Builds the installer and runs it on the built-in demo: generates the demo
# game folder and a copy of the demo mod in a scratch folder, installs the mod
# into that game folder with `veypatcher-cli install`, and prints the log and
# the verdict.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh -DVEY_BUILD_TESTS=OFF
cli=$PWD/build/cli/veypatcher-cli
"$cli" --version

scratch=$(mktemp -d "${TMPDIR:-/tmp}/veypatcher-demo.XXXXXX")
python3 demo/make_demo_game.py "$scratch"
echo

status=0
# The demo's stand-in compiler is a script of ours, so it is given as the
# person's own compiler: the installer never runs a native program from a mod.
"$cli" install --mod "$scratch/mod" --game "$scratch/game" --yes --log-file "$scratch/install.log" \
  --compiler "$PWD/demo/standin-compiler" || status=$?

echo
# The run's last line: its verdict, or the failure that ended it.
verdict=$(tail -n 1 "$scratch/install.log" 2>/dev/null | cut -f 2- || true)
case $status in
  0) meaning="finished with no errors and no warnings" ;;
  1) meaning="finished with warnings" ;;
  2) meaning="finished with errors" ;;
  3) meaning="ended by a failure" ;;
  4) meaning="nothing was run" ;;
  *) meaning="usage error" ;;
esac
echo "Verdict: ${verdict:-none} (exit status $status: $meaning)"
echo "The changed game folder is $scratch/game; the backups and installlog.rtf are in $scratch/mod."
echo "Look at a changed file with:  $cli dump $scratch/game/override/baseitems.2da"
exit "$status"
