#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
# Usage: scripts/setup.sh [--fuzz] [--bench] [--screenshots]
# Prints one line per step; the package manager's own output goes to a log
# file ($VEY_SETUP_LOG, default $TMPDIR/veypatcher-setup.log), whose tail is
# shown when a step fails.
set -euo pipefail

packages=(g++ cmake make ninja-build pkg-config libgtest-dev libgmock-dev libcli11-dev libmimalloc-dev libssl-dev python3 time qt6-base-dev groff-base bubblewrap)
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
log="${VEY_SETUP_LOG:-${TMPDIR:-/tmp}/veypatcher-setup.log}"
: > "$log"

# step DESCRIPTION COMMAND...: one line on the terminal, the output in the log.
step() {
  local what="$1"
  shift
  printf '%s ... ' "$what"
  echo "== $what: $*" >> "$log"
  if "$@" >> "$log" 2>&1; then
    echo "done"
  else
    local status=$?
    echo "failed (exit status $status)"
    echo "The last lines of $log:" >&2
    tail -n 30 "$log" >&2
    exit "$status"
  fi
}

export DEBIAN_FRONTEND=noninteractive
step "Updating the package lists" $sudo apt-get update -q
step "Installing ${#missing[@]} packages (${missing[*]})" \
  $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
echo "Setup done; the package manager's output is in $log"
