// The bash completion: the subcommands, each one's options and each option's values.
#include "generated_files.h"

#include "cli_args.h"

namespace cli::gen {

namespace {

// "-j | --jobs", as a case pattern and as bash names them.
std::string forms(const OptionRow &row, const char *separator) {
    return row.shortName ? "-" + std::string(1, row.shortName) + separator + row.name
                         : std::string(row.name);
}

std::string join(const std::vector<std::string> &words, const char *separator) {
    std::string out;
    for (const auto &w : words)
        out += (out.empty() ? "" : separator) + w;
    return out;
}

// A case arm of _posdip_cli_values for the option, "" when it takes no value.
std::string valuesArm(const OptionRow &row, std::vector<std::string> &freeText) {
    if (row.hint.empty())
        return "";
    const std::string pattern = "        " + forms(row, " | ") + ")";
    if (!row.choices.empty())
        return pattern + " words=\"" + join(row.choices, " ") + "\" ;;\n";
    switch (row.value) {
    case OptionValue::File:
        return pattern + "\n            _filedir\n            return 0\n            ;;\n";
    case OptionValue::Queue:
        return pattern + " words=$(posdip-cli printers 2>/dev/null) ;;\n";
    case OptionValue::Text:
        freeText.push_back(forms(row, " | "));
        return "";
    }
    return "";
}

} // namespace

std::string bashCompletion() {
    std::vector<std::string> words;
    std::string optionsOf;
    for (Subcommand sub : allSubcommands()) {
        words.push_back(subcommandName(sub));
        std::vector<std::string> options;
        for (const OptionRow &row : optionRows())
            if (appliesTo(row, sub))
                options.push_back(forms(row, " "));
        optionsOf += "        " + words.back() + ") echo \"" + join(options, " ") + "\" ;;\n";
    }
    std::vector<std::string> topLevel;
    std::vector<std::string> freeText;
    std::string values;
    for (const OptionRow &row : optionRows()) {
        if (row.topLevel)
            topLevel.push_back(forms(row, " "));
        values += valuesArm(row, freeText);
    }
    if (!freeText.empty())
        values +=
            "        " + join(freeText, " | ") + ") return 0 ;; # free text: nothing to offer\n";
    return "# bash completion for posdip-cli, generated from its option table.\n\n"
           "_posdip_cli_subcommands=\"" +
           join(words, " ") + "\"\n_posdip_cli_top_options=\"" + join(topLevel, " ") +
           "\"\n\n# The options SUBCOMMAND takes.\n_posdip_cli_options_of() {\n    case $1 in\n" +
           optionsOf + "    esac\n}\n" + R"sh(
# Fills COMPREPLY with the values of OPTION that start with CUR. Returns 1 when OPTION takes no
# value, so the word is completed as an option or an argument instead.
_posdip_cli_values() {
    local option=$1 cur=$2 words=""
    case $option in
)sh" + values +
           R"sh(        *) return 1 ;;
    esac
    COMPREPLY=($(compgen -W "$words" -- "$cur"))
}

_posdip_cli() {
    local cur prev words cword split
    _init_completion -s || return

    if ((cword == 1)); then
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W "$_posdip_cli_top_options" -- "$cur"))
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
    fi
} &&
    complete -F _posdip_cli posdip-cli
)sh";
}

} // namespace cli::gen
