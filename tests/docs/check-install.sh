#!/usr/bin/env bash
# Installs into a scratch prefix and checks what a player or an author gets
# from `cmake --install`: every manual page renders without a warning and
# names only subcommands and options the program has, and the bash
# completion loads and completes subcommands and options.
# Usage: check-install.sh CMAKE BUILD_DIR SOURCE_DIR
set -euo pipefail
cmake=$1 build=$2 source=$3
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
"$cmake" --install "$build" --prefix "$prefix" >/dev/null

cli=$prefix/bin/veypatcher-cli
man1=$prefix/share/man/man1
completion=$prefix/share/bash-completion/completions/veypatcher-cli
status=0
fail() {
  echo "FAIL: $*" >&2
  status=1
}

[ -x "$cli" ] || { echo "FAIL: $cli was not installed" >&2; exit 1; }
subcommands=$("$cli" --help | awk '/^Subcommands:/ { on = 1; next } /^[^ ]/ { on = 0 } on && /^  [a-z]/ { print $1 }')
# A subcommand's help with that of its own subcommands ("modlist check").
help_of() {
  local text inner
  text=$("$cli" "$1" --help)
  printf '%s\n' "$text"
  for inner in $(awk '/^Subcommands:/ { on = 1; next } /^[^ ]/ { on = 0 } on && /^  [a-z]/ { print $1 }' <<<"$text"); do
    "$cli" "$1" "$inner" --help
  done
}
all_help=$("$cli" --help; for s in $subcommands; do help_of "$s"; done)

[ -f "$man1/veypatcher-cli.1" ] || fail "veypatcher-cli.1 was not installed"
for page in "$source"/docs/man/*.1; do
  name=$(basename "$page")
  warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1)
  [ -z "$warnings" ] || fail "$name: $warnings"
  if command -v man >/dev/null; then
    MANWIDTH=80 man -l "$page" >/dev/null 2>&1 || fail "$name: man -l cannot show it"
  fi
  if [ "$name" = veypatcher.1 ]; then
    # The window is installed only when it was built.
    [ ! -e "$prefix/bin/veypatcher" ] || [ -f "$man1/$name" ] || fail "$name was not installed"
    continue
  fi
  [ -f "$man1/$name" ] || fail "$name was not installed"
  sub=${name#veypatcher-cli-}
  sub=${sub%.1}
  if [ "$name" = veypatcher-cli.1 ]; then
    help=$all_help
  elif grep -qx -- "$sub" <<<"$subcommands"; then
    help=$(help_of "$sub")
  else
    fail "$name documents \"$sub\", which veypatcher-cli does not have"
    continue
  fi
  # Every long option the page names exists (the page source writes \- for -).
  for option in $(sed 's/\\-/-/g' "$page" | grep -o -- '--[a-z][a-z-]*[a-z]' | sort -u); do
    grep -q -- "$option\b" <<<"$help" || fail "$name names $option, which $sub --help does not list"
  done
done

complete_words() {
  bash --norc --noprofile -c '
    source "$1"
    shift
    complete -p veypatcher-cli >/dev/null || exit 3
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _veypatcher_cli
    printf "%s\n" "${COMPREPLY[@]}"' _ "$completion" "$cli" "$@"
}
[ -f "$completion" ] || fail "the bash completion was not installed"
[ "$(complete_words "" | sort)" = "$(sort <<<"$subcommands")" ] || fail "completion of subcommands: $(complete_words "" | xargs)"
[ "$(complete_words di)" = diff ] || fail "completion of \"di\": $(complete_words di | xargs)"
[ "$(complete_words dump --tl)" = --tlk ] || fail "completion of \"dump --tl\": $(complete_words dump --tl | xargs)"
[ "$(complete_words modlist ch)" = check ] || fail "completion of \"modlist ch\": $(complete_words modlist ch | xargs)"
[ "$(complete_words modlist install list.toml --keep)" = --keep-going ] ||
  fail "completion of \"modlist install list.toml --keep\": $(complete_words modlist install list.toml --keep | xargs)"
[ "$(complete_words conflicts --js)" = --json ] || fail "completion of \"conflicts --js\": $(complete_words conflicts --js | xargs)"
mkdir -p "$prefix/work/modfolder"
(cd "$prefix/work" && [ "$(complete_words install --mod mod)" = modfolder ]) || fail "completion of a folder after --mod"

exit $status
