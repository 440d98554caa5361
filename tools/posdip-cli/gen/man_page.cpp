// The manual page's SYNOPSIS and OPTIONS, set into its hand-written template.
#include "generated_files.h"

#include "cli_args.h"

#include "protocol/frame_decode.h"
#include "protocol/setting_byte.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <stdexcept>

namespace cli::gen {

namespace {

// Text as roff shows it: options in bold ("\fB\-\-ip\fR"), backslashes kept.
std::string roff(const std::string &text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool option =
            text[i] == '-' &&
            (i == 0 || std::string_view(" [(").find(text[i - 1]) != std::string_view::npos) &&
            i + 1 < text.size() && (text[i + 1] == '-' || std::islower(text[i + 1]));
        if (option) {
            std::size_t end = i + 1;
            while (end < text.size() && (text[end] == '-' || std::islower(text[end])))
                ++end;
            std::string name;
            for (std::size_t k = i; k < end; ++k)
                name += text[k] == '-' ? "\\-" : std::string(1, text[k]);
            out += "\\fB" + name + "\\fR";
            i = end - 1;
        } else if (text[i] == '\\') {
            out += "\\e";
        } else if (text[i] == '\n' ||
                   (text[i] == ' ' && i > 0 && text[i - 1] == '.' && i + 1 < text.size() &&
                    std::isupper(static_cast<unsigned char>(text[i + 1])))) {
            out += text[i - 1] == '.' ? '\n' : ' '; // a sentence starts a line, as roff wants
        } else {
            out += text[i];
        }
    }
    return out;
}

// A usage's operands with the words to fill in italic: "[\\fISETTING\\fR...]". Such a word is
// capitals, with dots or slashes between them ("A.B.C.D/PREFIX").
std::string operands(const std::string &text) {
    auto capital = [&](std::size_t i) {
        return i < text.size() && std::isupper(static_cast<unsigned char>(text[i]));
    };
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t end = i;
        while (capital(end) ||
               (end > i && (text[end] == '.' || text[end] == '/') && capital(end + 1)))
            ++end;
        if (end > i) {
            out += "\\fI" + text.substr(i, end - i) + "\\fR";
        } else {
            while (end < text.size() && !capital(end))
                ++end;
            out += roff(text.substr(i, end - i));
        }
        i = end;
    }
    return out;
}

std::string synopsis() {
    std::string out;
    for (Subcommand sub : allSubcommands()) {
        const std::string head = std::string("posdip-cli ") + subcommandName(sub);
        out += "\\fB" + head + "\\fR" + operands(usageLine(sub).substr(head.size())) + "\n.br\n";
    }
    std::string topLevel;
    for (const OptionRow &row : optionRows())
        if (row.topLevel)
            topLevel += (topLevel.empty() ? "" : " | ") + roff(row.name);
    return out + "\\fBposdip-cli\\fR [" + topLevel + "]\n";
}

std::string heading(OptionGroup group) {
    switch (group) {
    case OptionGroup::Target:
        return ".SS Targets\n";
    case OptionGroup::Setting:
        return ".SS Settings\nEach setting of \\fBstore\\fR defaults to the window's opening "
               "selection, which makes the byte " +
               protocol::hexByte(protocol::kDefaultSetting) + ".\n";
    case OptionGroup::Other:
        return ".SS Other options\n";
    }
    return "";
}

// "For the subcommands that send a frame, and status.", from the subcommands the option applies
// to.
std::string takenBy(const OptionRow &row) {
    std::vector<Subcommand> taken;
    std::ranges::copy_if(allSubcommands(), std::back_inserter(taken),
                         [&](Subcommand sub) { return appliesTo(row, sub); });
    const bool all = taken.size() == allSubcommands().size();
    const bool allSends = std::ranges::all_of(
        allSubcommands(), [&](Subcommand sub) { return !sendsFrame(sub) || appliesTo(row, sub); });
    std::vector<std::string> words;
    if (allSends)
        words.push_back("the subcommands that send a frame");
    for (Subcommand sub : taken)
        if (!allSends || !sendsFrame(sub))
            words.push_back(subcommandName(sub));
    std::string out = all ? "every subcommand" : "";
    for (std::size_t i = 0; !all && i < words.size(); ++i)
        out += (i == 0 ? "" : i + 1 == words.size() ? " and " : ", ") + words[i];
    if (row.topLevel)
        return taken.empty() ? "Before any subcommand.\n" : "For " + out + ", and before any.\n";
    return "For " + out + ".\n";
}

std::string option(const OptionRow &row) {
    std::string head = row.shortName ? roff("-" + std::string(1, row.shortName)) + ", " : "";
    head += roff(row.name);
    if (!row.hint.empty())
        head += row.choices.empty() ? " \\fI" + row.hint + "\\fR" : " " + row.hint;
    std::string text = row.manual;
    if (text.empty()) {
        text = optionHelp(row, std::nullopt);
        text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
        text += ".";
    }
    // A line that starts with a dot or a quote would be taken for a request.
    const std::string body = roff(text);
    const bool request = body.starts_with('.') || body.starts_with('\'');
    return ".TP\n" + head + "\n" + (request ? "\\&" : "") + body + "\n" + takenBy(row);
}

std::string options() {
    std::string out;
    for (OptionGroup group : {OptionGroup::Target, OptionGroup::Setting, OptionGroup::Other}) {
        out += heading(group);
        for (const OptionRow &row : optionRows())
            if (row.group == group)
                out += option(row);
    }
    return out;
}

void replaceLine(std::string &text, const std::string &line, const std::string &with) {
    const std::size_t at = text.find(line + "\n");
    if (at == std::string::npos)
        throw std::runtime_error("the template has no line '" + line + "'");
    text.replace(at, line.size() + 1, with);
}

} // namespace

std::string manPage(const std::string &manTemplate) {
    std::string page = manTemplate;
    replaceLine(page, ".\\\" GENERATED SYNOPSIS", synopsis());
    replaceLine(page, ".\\\" GENERATED OPTIONS", options());
    return page;
}

} // namespace cli::gen
