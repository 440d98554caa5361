// Every posdip-cli command line that the README, docs/*.md and the manual pages' EXAMPLES show
// must be one the parser accepts, so a documented example cannot rot.
#include "cli_args.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct ExampleLine {
    std::string where; // "README.md:42"
    std::string text;
};

// The lines of the file that are examples: fenced code blocks in markdown, the EXAMPLES section
// of a manual page (roff requests left out, "\-" read as "-"); a line ending in a backslash is
// joined with the next, as the shell does.
std::vector<ExampleLine> exampleLines(const fs::path &file) {
    const bool manual = file.extension() == ".in";
    std::ifstream in(file);
    std::vector<ExampleLine> lines;
    bool inside = false;
    std::string line;
    std::string pending;
    for (int number = 1; std::getline(in, line); ++number) {
        if (manual && line.rfind(".SH", 0) == 0) {
            inside = line == ".SH EXAMPLES";
            continue;
        }
        if (!manual && line.rfind("```", 0) == 0) {
            inside = !inside;
            continue;
        }
        if (!inside || (manual && line.rfind('.', 0) == 0))
            continue;
        if (manual)
            for (std::size_t at; (at = line.find("\\-")) != std::string::npos;)
                line.erase(at, 1);
        if (pending.empty())
            lines.push_back({file.filename().string() + ":" + std::to_string(number), ""});
        if (!line.empty() && line.back() == '\\') {
            pending = line.erase(line.size() - 1);
            lines.back().text += pending;
            continue;
        }
        pending.clear();
        lines.back().text += line;
    }
    return lines;
}

// The shell's words, quotes removed; an operator (| ; & > <, doubled or with a descriptor
// number) is a word of its own; a comment ends the line.
std::vector<std::string> shellWords(const std::string &text) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    auto end = [&] {
        if (inWord)
            words.push_back(word);
        word.clear();
        inWord = false;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\'' || c == '"') {
            const std::size_t close = text.find(c, i + 1);
            word += text.substr(i + 1, close - i - 1);
            inWord = true;
            i = close == std::string::npos ? text.size() : close;
        } else if (c == ' ' || c == '\t') {
            end();
        } else if (c == '#' && !inWord) {
            break;
        } else if (std::string("|;&<>").find(c) != std::string::npos) {
            const bool descriptor = inWord && word.find_first_not_of("0123456789") == word.npos;
            if (!descriptor)
                end();
            word += c;
            inWord = true;
            const bool duplicates = i + 1 < text.size() && text[i + 1] == c;
            if (duplicates || (c != '|' && i + 1 < text.size() && text[i + 1] == '&'))
                word += text[++i]; // && || >> 2>&
            end();
        } else {
            word += c;
            inWord = true;
        }
    }
    end();
    return words;
}

bool isOperator(const std::string &word) {
    return word.find_first_of("|;&<>") != std::string::npos;
}

// A prompt, sudo or a variable assignment (NAME=value) before a command.
bool beforeCommand(const std::string &word) {
    const std::size_t eq = word.find('=');
    const bool assignment = eq != std::string::npos && eq > 0 &&
                            (std::isalpha(static_cast<unsigned char>(word[0])) || word[0] == '_');
    return word == "$" || word == "sudo" || assignment;
}

// The arguments of each posdip-cli command in the words: a command starts a line or follows
// | ; &, after a prompt ($), variable assignments and sudo; its redirections are not its own.
std::vector<std::vector<std::string>> cliCommands(const std::vector<std::string> &words) {
    std::vector<std::vector<std::string>> commands;
    std::size_t i = 0;
    while (i < words.size()) {
        while (i < words.size() && beforeCommand(words[i]))
            ++i;
        const bool cli =
            i < words.size() && (words[i] == "posdip-cli" || words[i].ends_with("/posdip-cli"));
        std::vector<std::string> args;
        for (++i; i < words.size(); ++i) {
            const std::string &w = words[i];
            if (w.find_first_of("<>") != std::string::npos) {
                ++i; // the redirection's file
            } else if (isOperator(w)) {
                ++i;
                break;
            } else {
                args.push_back(w);
            }
        }
        if (cli)
            commands.push_back(std::move(args));
    }
    return commands;
}

std::vector<fs::path> documents() {
    const fs::path top = POSDIP_SOURCE_DIR;
    std::vector<fs::path> files{top / "README.md"};
    for (const auto &entry : fs::directory_iterator(top / "docs")) {
        const std::string name = entry.path().filename().string();
        if (name.ends_with(".md") || name.ends_with(".1.in"))
            files.push_back(entry.path());
    }
    return files;
}

} // namespace

TEST(docs_examples_test, shell_words_split_as_the_shell_does) {
    using Words = std::vector<std::string>;
    EXPECT_EQ(shellWords("a 'b c' \"d\"e # f"), (Words{"a", "b c", "de"}));
    EXPECT_EQ(shellWords("x>f 2>&1 a|b && c"),
              (Words{"x", ">", "f", "2>&", "1", "a", "|", "b", "&&", "c"}));
    EXPECT_EQ(cliCommands(shellWords("$ A=1 build/bin/posdip-cli store --ip x > f | grep y")),
              (std::vector<Words>{{"store", "--ip", "x"}}));
    EXPECT_EQ(cliCommands(shellWords("man posdip-cli; posdip-cli ports")),
              (std::vector<Words>{{"ports"}}));
}

TEST(docs_examples_test, every_documented_command_line_parses) {
    int readmeCommands = 0;
    int manualCommands = 0;
    for (const fs::path &file : documents()) {
        for (const ExampleLine &line : exampleLines(file)) {
            for (const auto &args : cliCommands(shellWords(line.text))) {
                readmeCommands += file.filename() == "README.md";
                manualCommands += file.filename() == "posdip-cli.1.in";
                const auto parsed = cli::parseArgs(args);
                if (const auto *e = std::get_if<cli::UsageError>(&parsed))
                    ADD_FAILURE() << line.where << ": " << line.text << "\n  " << e->message;
            }
        }
    }
    // The examples were found at all.
    EXPECT_GE(readmeCommands, 5);
    EXPECT_GE(manualCommands, 3);
}
