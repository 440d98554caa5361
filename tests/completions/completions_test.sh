#!/usr/bin/env bash
# Reads the subcommands, the options of each and their values from posdip-cli's --help texts and
# checks that
#  - both completion files name every one of them;
#  - the bash completion offers, for each subcommand, exactly the options its help lists, and
#    for each option with a fixed set of values, exactly those values;
#  - the zsh completion is valid zsh.
# Usage: completions_test.sh POSDIP_CLI BASH_COMPLETION ZSH_COMPLETION
set -uo pipefail
cli=$1 bash_file=$2 zsh_file=$3
status=0
fail() { echo "FAIL: $*"; status=1; }

# "  store      store a setting ..." in the overview.
subcommands=$("$cli" --help | sed -n 's/^  \([a-z][a-z-]*\)  .*/\1/p')
[ -n "$subcommands" ] || fail "no subcommands found in 'posdip-cli --help'"

# The options in the usage line and at the start of the option lines, not those named in prose.
options_of() {
  "$cli" "$1" --help | grep -E '^(Usage:| +-)' | sed -E 's/^( +(-j, )?--?[a-z-]+).*/\1/' |
    grep -oE -- '(^|[ [,|])--?[a-z][a-z-]*' | sed 's/^[ [,|]//' | sort -u
}
# "  --chars 42|48   ..." gives "--chars 42 48"; COMn and LPTn stand for the numbered ports.
values_of() {
  "$cli" "$1" --help | sed -n 's/^ *\(-j, \)\{0,1\}\(--[a-z-]*\) \([^ ]*|[^ ]*\) .*/\2 \3/p' |
    sed 's/COMn/COM1 COM2 COM3 COM4 COM5 COM6 COM7 COM8 COM9/; s/LPTn/LPT1 LPT2 LPT3/' |
    tr '|' ' '
}

# Both files name every subcommand, option and value.
for file in "$bash_file" "$zsh_file"; do
  for word in $subcommands; do
    grep -qw -- "$word" "$file" || fail "$(basename "$file") lacks the subcommand $word"
  done
  for sub in $subcommands; do
    for word in $( (options_of "$sub" && values_of "$sub") | tr ' ' '\n' | sort -u); do
      grep -qw -- "$word" "$file" || fail "$(basename "$file") lacks '$word' of $sub"
    done
  done
done

# What bash offers, through the completion function as bash calls it.
# complete_words WORD... : the words offered for the last WORD.
complete_words() {
  POSDIP_CLI_DIR=$(dirname "$cli") bash -c '
    PATH=$POSDIP_CLI_DIR:$PATH
    source /usr/share/bash-completion/bash_completion
    source "$0"
    COMP_WORDS=(posdip-cli "$@")
    COMP_CWORD=$#
    COMP_LINE="posdip-cli $*"
    COMP_LINE=${COMP_LINE// = /=} # bash splits --name=value into three words
    COMP_POINT=${#COMP_LINE}
    _posdip_cli posdip-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
    printf "%s\n" "${COMPREPLY[@]}" | sort -u' "$bash_file" "$@"
}
expect_offer() { # expected-words -- words...
  local expected=$1; shift
  local got
  got=$(complete_words "$@" | tr '\n' ' ' | sed 's/ $//')
  expected=$(tr ' ' '\n' <<<"$expected" | sed '/^$/d' | sort -u | tr '\n' ' ' | sed 's/ $//')
  [ "$got" = "$expected" ] || fail "'posdip-cli $*<TAB>' offers '$got', not '$expected'"
}

expect_offer "$subcommands help" ""
expect_offer "store selftest status scan" s
expect_offer "--help --version" --
expect_offer "$subcommands" help ""
for sub in $subcommands; do
  # Not every help text lists the help options themselves.
  expect_offer "$(options_of "$sub") --help -h" "$sub" -
  while read -r option values; do
    [ -n "$option" ] || continue
    expect_offer "$values" "$sub" "$option" ""
    expect_offer "$values" "$sub" --json "$option" "" # not only right after the subcommand
  done < <(values_of "$sub")
done
# --name=value is completed as --name value is.
expect_offer "dark" store --density = d
# A value that is free text is not completed as an option.
expect_offer "" store --byte ""
expect_offer "" store --ip -
# An option's value is not taken for the option before it.
expect_offer "--chars" store --cutter yes --cha

zsh -n "$zsh_file" || fail "$zsh_file is not valid zsh"
exit $status
