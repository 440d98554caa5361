#!/usr/bin/env bash
# posdip-cli's generated files in DIR: bash loads its completion and completes an option and a
# value; zsh compiles its completion; man renders the page without warnings, its SYNOPSIS
# naming every subcommand.
# Usage: generated_files_test.sh DIR
set -uo pipefail
dir=$1
status=0
fail() { echo "FAIL: $*"; status=1; }

# complete WORD...: what bash offers for the last WORD, one a line; then the subcommands.
complete_words() {
  bash -c '
    source /usr/share/bash-completion/bash_completion
    source "$0"
    complete -p posdip-cli >/dev/null || exit 1
    COMP_WORDS=(posdip-cli "$@")
    COMP_CWORD=$#
    COMP_LINE="posdip-cli $*"
    COMP_POINT=${#COMP_LINE}
    _posdip_cli posdip-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
    printf "%s\n" "${COMPREPLY[@]}"' "$dir/posdip-cli.bash" "$@"
}
got=$(complete_words store --cha | tr '\n' ' ')
[ "$got" = "--chars " ] || fail "'posdip-cli store --cha<TAB>' offers '$got'"
got=$(complete_words store --density "" | tr '\n' ' ')
[ "$got" = "dark light " ] || fail "'posdip-cli store --density <TAB>' offers '$got'"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$dir/_posdip-cli" "$work/"
zsh -fc 'zcompile "$1"' zsh "$work/_posdip-cli" || fail "zsh cannot compile _posdip-cli"

page=$(LC_ALL=C.UTF-8 MANWIDTH=200 man --warnings -l "$dir/posdip-cli.1" 2>"$work/warnings")
[ ! -s "$work/warnings" ] || fail "man posdip-cli: $(cat "$work/warnings")"
subcommands=$(bash -c 'source "$0"; echo "$_posdip_cli_subcommands"' "$dir/posdip-cli.bash")
synopsis=$(sed -n '/^SYNOPSIS/,/^[A-Z]/p' <<<"$page")
for sub in $subcommands; do
  grep -q "posdip-cli $sub" <<<"$synopsis" || fail "the SYNOPSIS lacks $sub"
done
exit $status
