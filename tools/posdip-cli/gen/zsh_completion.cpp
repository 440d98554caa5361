// The zsh completion: the subcommands with their summaries, each one's options with a short
// description and each option's values.
#include "generated_files.h"

#include "cli_args.h"
#include "help.h"

namespace cli::gen {

namespace {

// The start of a help text, up to its first ';', '(', ':' or line end: "a network printer".
std::string shortText(const std::string &text) {
    std::string out = text.substr(0, text.find_first_of(";(:\n"));
    while (!out.empty() && (out.back() == ' ' || out.back() == ','))
        out.pop_back();
    return out;
}

// Escapes the characters the shell's single quotes and _arguments's option words give a meaning.
std::string escaped(const std::string &text, const char *special) {
    std::string out;
    for (const char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out +=
                (std::string(special).find(c) != std::string::npos ? "\\" : "") + std::string(1, c);
    }
    return out;
}

// What _arguments offers for the option's value.
std::string action(const OptionRow &row) {
    if (!row.choices.empty()) {
        std::string words;
        for (const auto &c : row.choices)
            words += (words.empty() ? "" : " ") + escaped(c, "() :");
        return "(" + words + ")";
    }
    switch (row.value) {
    case OptionValue::File:
        return "_files";
    case OptionValue::Queue:
        return "_posdip_cli_queues";
    case OptionValue::Text:
        return " ";
    }
    return " ";
}

// The _arguments words of one option for sub: '(-j --jobs)-j+[at most N ...]:N: '
std::string argumentWords(const OptionRow &row, std::optional<Subcommand> sub) {
    const std::string longForm = row.name;
    const std::string shortForm = row.shortName ? "-" + std::string(1, row.shortName) : "";
    const std::string exclusion =
        row.repeatable ? "*" : "(" + (shortForm.empty() ? "" : shortForm + " ") + longForm + ")";
    const std::string text =
        "[" + escaped(shortText(sub ? optionHelp(row, *sub) : optionHelp(row, {})), "[]") + "]";
    const std::string value =
        row.hint.empty() ? "" : ":" + escaped(row.hint, ":") + ":" + action(row);
    std::string out;
    if (!shortForm.empty())
        out += " '" + exclusion + shortForm + (row.hint.empty() ? "" : "+") + text + value + "'";
    return out + " '" + exclusion + longForm + (row.hint.empty() ? "" : "=") + text + value + "'";
}

} // namespace

std::string zshCompletion() {
    std::string subcommands;
    std::string arms;
    for (Subcommand sub : allSubcommands()) {
        const std::string word = subcommandName(sub);
        subcommands +=
            "    '" + word + ":" + escaped(shortText(subcommandSummary(sub)), "") + "'\n";
        std::string options;
        for (const OptionRow &row : optionRows())
            if (appliesTo(row, sub))
                options += " \\\n          " + argumentWords(row, sub).substr(1);
        arms += "        " + word + ") _arguments -s" + options + " && ret=0 ;;\n";
    }
    std::string topLevel;
    for (const OptionRow &row : optionRows())
        if (row.topLevel)
            topLevel += " \\\n    " + argumentWords(row, std::nullopt).substr(1);
    return R"sh(#compdef posdip-cli
# zsh completion for posdip-cli, generated from its option table.

_posdip_cli_queues() {
  local -a queues
  queues=(${(f)"$(_call_program queues posdip-cli printers 2>/dev/null)"})
  _describe -t queues 'print queue' queues
}

_posdip-cli() {
  local -a subcommands
  subcommands=(
)sh" + subcommands +
           R"sh(  )
  local curcontext=$curcontext state state_descr line ret=1
  typeset -A opt_args
  _arguments -C)sh" +
           topLevel + R"sh( \
    '1:subcommand:->subcommand' \
    '*::argument:->argument' && ret=0

  case $state in
    subcommand)
      _describe -t subcommands 'posdip-cli subcommand' subcommands && ret=0
      ;;
    argument)
      curcontext=${curcontext%:*}-$words[1]:
      case $words[1] in
)sh" + arms +
           R"sh(        help) _describe -t subcommands 'posdip-cli subcommand' subcommands && ret=0 ;;
      esac
      ;;
  esac
  return ret
}

_posdip-cli "$@"
)sh";
}

} // namespace cli::gen
