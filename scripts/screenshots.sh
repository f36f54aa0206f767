#!/usr/bin/env bash
# Takes the window's screenshots under a real X server (xvfb-run): the demo
# mod (start, summary, log mid-run, finished with its outcome box) and the
# demo with installation types (the type dialog), each at scale 1 and 2.
# Usage: scripts/screenshots.sh [OUTDIR]   (default docs/screenshots)
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-docs/screenshots}")
bash scripts/setup.sh --screenshots
bash scripts/build.sh -DVEY_BUILD_APP=ON
app=$PWD/build/app/veypatcher
mkdir -p "$out"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/veypatcher-shots.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

shoot() {  # name-prefix scale demo-folder
  local prefix=$1 scale=$2 demo=$3 suffix=""
  [ "$scale" = 1 ] || suffix="@${scale}x"
  VEY_SCREENSHOT_DIR="$out" VEY_SCREENSHOT_PREFIX="$prefix" VEY_SCREENSHOT_SUFFIX="$suffix" \
    QT_SCALE_FACTOR=$scale QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1600x1300x24" "$app" --mod "$demo/mod" --game "$demo/game" --compiler "$PWD/demo/standin-compiler" > /dev/null
}

for scale in 1 2; do
  python3 demo/make_demo_game.py "$scratch/demo$scale" > /dev/null
  shoot demo- "$scale" "$scratch/demo$scale"
  python3 demo/make_demo_game.py "$scratch/types$scale" > /dev/null
  cp demo/types/namespaces.ini demo/types/loose.ini demo/types/loose.rtf "$scratch/types$scale/mod/veypatchdata/"
  shoot types- "$scale" "$scratch/types$scale"
done
# The demo mod opened from a zip archive (unpacked into a scratch cache).
python3 demo/make_demo_game.py "$scratch/archive" > /dev/null
(cd "$scratch/archive/mod" && bsdtar --format zip -cf "$scratch/Demo mod 1.0.zip" .)
VEY_SCREENSHOT_DIR="$out" VEY_SCREENSHOT_PREFIX=archive- VEY_SCREENSHOT_SUFFIX="" XDG_CACHE_HOME="$scratch/cache" \
  QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1600x1300x24" "$app" --mod "$scratch/Demo mod 1.0.zip" \
  --game "$scratch/archive/game" --compiler "$PWD/demo/standin-compiler" > /dev/null
find "$out" -name 'archive-*.png' ! -name 'archive-start.png' ! -name 'archive-finished.png' -delete
# The build view in five states, from its test on a synthetic build.
bash scripts/build.sh -DVEY_BUILD_APP=ON -DVEY_BUILD_TESTS=ON >/dev/null
for scale in 1 2; do
  suffix=""; [ "$scale" = 1 ] || suffix="@${scale}x"
  VEY_SCREENSHOT_DIR="$out" VEY_SCREENSHOT_SUFFIX="$suffix" QT_SCALE_FACTOR=$scale QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 2400x1800x24" "$PWD/build/tests/app/tests_app" BuildViewTest > /dev/null
done
# The type demo's other moments repeat the plain demo's.
find "$out" -name 'types-*.png' ! -name 'types-installation-type*' -delete
ls -1 "$out"
