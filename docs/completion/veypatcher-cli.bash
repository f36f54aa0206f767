# Bash completion for veypatcher-cli. Subcommands and options are read from
# the program's own --help (once per shell), so they always match the
# installed program.

declare -gA _veypatcher_cli_help_cache

# The --help text of the program ($1), or of one of its subcommands ($2,
# which may be two words: "modlist check").
_veypatcher_cli_help() {
  local key="$1 ${2:-}"
  if [[ -z ${_veypatcher_cli_help_cache[$key]+set} ]]; then
    local -a words=()
    [[ -n ${2:-} ]] && read -ra words <<<"$2"
    _veypatcher_cli_help_cache[$key]=$("$1" "${words[@]}" --help 2>/dev/null)
  fi
  printf '%s\n' "${_veypatcher_cli_help_cache[$key]}"
}

_veypatcher_cli_subcommands() {
  _veypatcher_cli_help "$1" "${2:-}" | awk '/^Subcommands:/ { on = 1; next } /^[^ ]/ { on = 0 } on && /^  [a-z]/ { print $1 }'
}

# One line per option name: the name, a blank, and 1 when it takes a value.
_veypatcher_cli_options() {
  _veypatcher_cli_help "$1" "$2" | awk '
    /^Options:/ { on = 1; next }
    /^[^ ]/ { on = 0 }
    on && /^  -/ {
      sub(/^  /, "")
      split($0, columns, /  +/)
      n = split(columns[1], words, " ")
      value = (n >= 2 && words[2] ~ /^[A-Z][A-Z0-9_:]*$/) ? 1 : 0
      count = split(words[1], names, ",")
      for (i = 1; i <= count; i++) print names[i], value
    }'
}

_veypatcher_cli() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
  local program=${COMP_WORDS[0]} sub="" i
  for ((i = 1; i < COMP_CWORD; i++)); do
    case ${COMP_WORDS[i]} in
      -*) ;;
      *) sub=${COMP_WORDS[i]}; break ;;
    esac
  done
  COMPREPLY=()
  # A command with commands of its own ("modlist check LIST"): the second word
  # is completed from its list, and the options are the inner command's.
  if [[ -n $sub ]] && _veypatcher_cli_help "$program" "$sub" | grep -q '^Subcommands:'; then
    local inner="" k
    for ((k = i + 1; k < COMP_CWORD; k++)); do
      case ${COMP_WORDS[k]} in
        -*) ;;
        *) inner=${COMP_WORDS[k]}; break ;;
      esac
    done
    if [[ -z $inner ]]; then
      COMPREPLY=($(compgen -W "$(_veypatcher_cli_subcommands "$program" "$sub")" -- "$cur"))
      return 0
    fi
    sub="$sub $inner"
  fi
  if [[ -z $sub ]]; then
    if [[ $cur == -* ]]; then
      COMPREPLY=($(compgen -W "$(_veypatcher_cli_options "$program" "" | cut -d' ' -f1)" -- "$cur"))
    else
      COMPREPLY=($(compgen -W "$(_veypatcher_cli_subcommands "$program")" -- "$cur"))
    fi
    return 0
  fi

  local options
  options=$(_veypatcher_cli_options "$program" "$sub")
  if [[ $prev == -* ]] && grep -qx -- "$prev 1" <<<"$options"; then
    case $prev in
      --game | --backup-dir | --allow-source)
        compopt -o filenames 2>/dev/null
        COMPREPLY=($(compgen -d -- "$cur"))
        ;;
      --mod)
        # A mod folder or a mod archive.
        compopt -o filenames 2>/dev/null
        COMPREPLY=($(compgen -f -- "$cur"))
        ;;
      --type | --namespace)
        # The identifiers the mod named by --mod offers.
        local mod=. j
        for ((j = 1; j < COMP_CWORD - 1; j++)); do
          [[ ${COMP_WORDS[j]} == --mod ]] && mod=${COMP_WORDS[j+1]}
        done
        COMPREPLY=($(compgen -W "$("$program" namespaces --mod "$mod" 2>/dev/null |
          sed -n 's/^\[[0-9]*\] //p')" -- "$cur"))
        ;;
      --run)
        # The runs recorded in the game folder named by --game.
        local game="" j
        for ((j = 1; j < COMP_CWORD - 1; j++)); do
          [[ ${COMP_WORDS[j]} == --game ]] && game=${COMP_WORDS[j+1]}
        done
        [[ -n $game ]] && COMPREPLY=($(compgen -W "$("$program" history --game "$game" 2>/dev/null |
          awk 'NR > 1 { print $1 }')" -- "$cur"))
        ;;
      --log-level)
        COMPREPLY=($(compgen -W "0 1 2 3 4" -- "$cur"))
        ;;
      --compile-timeout)
        # Seconds a script compile may take (120 unless given).
        COMPREPLY=($(compgen -W "60 120 300 600" -- "$cur"))
        ;;
      *)
        compopt -o filenames 2>/dev/null
        COMPREPLY=($(compgen -f -- "$cur"))
        ;;
    esac
    return 0
  fi
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$(cut -d' ' -f1 <<<"$options")" -- "$cur"))
  else
    compopt -o filenames 2>/dev/null
    COMPREPLY=($(compgen -f -- "$cur"))
  fi
  return 0
}

complete -F _veypatcher_cli veypatcher-cli
