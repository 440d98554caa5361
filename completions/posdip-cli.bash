# bash completion for posdip-cli
# A new subcommand goes into _posdip_cli_subcommands and _posdip_cli_options_of; a new option
# into the option list of its subcommands and, when it takes a value, into _posdip_cli_values.

_posdip_cli_subcommands="enable disable restore store selftest decode printers ports"

_posdip_cli_send_options="--port --ip --targets --baud --printer --jobs -j --wait --json --dry-run --help -h"
_posdip_cli_store_options="--cutter --beeper --density --two-byte --chars --paper-taken
    --set-baud --byte"

# The options SUBCOMMAND takes.
_posdip_cli_options_of() {
    case $1 in
        enable | disable | restore | selftest) echo "$_posdip_cli_send_options" ;;
        store) echo "$_posdip_cli_send_options $_posdip_cli_store_options" ;;
        decode | printers | ports) echo "--json --help -h" ;;
    esac
}

# Fills COMPREPLY with the values of OPTION that start with CUR. Returns 1 when OPTION takes no
# value, so the word is completed as an option or an argument instead.
_posdip_cli_values() {
    local option=$1 cur=$2 words=""
    case $option in
        --cutter | --beeper | --two-byte | --paper-taken) words="yes no" ;;
        --density) words="dark light" ;;
        --chars) words="42 48" ;;
        --baud | --set-baud) words="9600 19200 38400 115200" ;;
        --port) words="ETHERNET COM1 COM2 COM3 COM4 COM5 COM6 COM7 COM8 COM9 LPT1 LPT2 LPT3
            DRIVER" ;;
        --printer) words=$(posdip-cli printers 2>/dev/null) ;;
        --targets)
            _filedir
            return 0
            ;;
        --ip | --byte | --jobs | -j | --wait) return 0 ;; # free text: nothing to offer
        *) return 1 ;;
    esac
    COMPREPLY=($(compgen -W "$words" -- "$cur"))
}

_posdip_cli() {
    local cur prev words cword split
    _init_completion -s || return

    if ((cword == 1)); then
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W "--help --version" -- "$cur"))
        else
            COMPREPLY=($(compgen -W "$_posdip_cli_subcommands help" -- "$cur"))
        fi
        return
    fi

    local sub=${words[1]}
    if [[ $sub == help || $sub == --help || $sub == -h ]]; then
        ((cword == 2)) && COMPREPLY=($(compgen -W "$_posdip_cli_subcommands" -- "$cur"))
        return
    fi

    _posdip_cli_values "$prev" "$cur" && return
    $split && return

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$(_posdip_cli_options_of "$sub")" -- "$cur"))
        [[ ${COMPREPLY-} == *= ]] && compopt -o nospace
    fi
} &&
    complete -F _posdip_cli posdip-cli
