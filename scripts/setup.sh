#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
# Usage: scripts/setup.sh [--fuzz] [--bench] [--screenshots]
set -euo pipefail

packages=(g++ cmake make pkg-config libgtest-dev libgmock-dev libcli11-dev libmimalloc-dev libssl-dev python3 time qt6-base-dev groff-base bubblewrap)
# The install result (JSON) and the check of it against its schema.
packages+=(nlohmann-json3-dev python3-jsonschema)
# Mod archives and mod lists; bsdtar writes the tests' archives.
packages+=(libarchive-dev libarchive-tools libtomlplusplus-dev)
for arg in "$@"; do
  case "$arg" in
    --fuzz) packages+=(clang libclang-rt-dev) ;;
    --bench) packages+=(libbenchmark-dev) ;;
    --app) ;;  # the window is part of the default set
    --screenshots) packages+=(xvfb xauth) ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
