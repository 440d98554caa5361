#include "cli_args.h"

#include "batch/cidr.h"
#include "batch/targets.h"

#include "posdll/port_names.h"
#include "posdll/quoted.h"
#include "protocol/frame_decode.h"

#include <algorithm>
#include <charconv>
#include <set>

namespace cli {

namespace {

using Mask = unsigned;
using posdll::quoted;
constexpr Mask bit(Subcommand s) {
    return 1u << static_cast<unsigned>(s);
}

// Every subcommand: those that send a frame run an action and take its word from the action
// table, the others have a word of their own.
struct SubcommandEntry {
    Subcommand sub;
    std::optional<app::Action> action;
    const char *word; // when there is no action
};
constexpr SubcommandEntry kSubcommands[] = {
    {Subcommand::Enable, app::Action::EnableDip, nullptr},
    {Subcommand::Disable, app::Action::DisableDip, nullptr},
    {Subcommand::Restore, app::Action::RestoreDefault, nullptr},
    {Subcommand::Store, app::Action::StoreSetting, nullptr},
    {Subcommand::SelfTest, app::Action::PrintSelfTest, nullptr},
    {Subcommand::Status, std::nullopt, "status"},
    {Subcommand::Scan, std::nullopt, "scan"},
    {Subcommand::Decode, std::nullopt, "decode"},
    {Subcommand::Printers, std::nullopt, "printers"},
    {Subcommand::Ports, std::nullopt, "ports"},
};

constexpr Mask maskOf(bool actionsOnly) {
    Mask m = 0;
    for (const auto &s : kSubcommands)
        if (!actionsOnly || s.action)
            m |= bit(s.sub);
    return m;
}
constexpr Mask kActions = maskOf(true);
constexpr Mask kStore = bit(Subcommand::Store);
constexpr Mask kOpens = kActions | bit(Subcommand::Status);
constexpr Mask kReads = bit(Subcommand::Status) | bit(Subcommand::Scan);
constexpr Mask kAll = maskOf(false);

const SubcommandEntry &entryOf(Subcommand sub) {
    for (const auto &s : kSubcommands)
        if (s.sub == sub)
            return s;
    return kSubcommands[0]; // not reached: the table lists every subcommand
}

std::optional<Subcommand> subcommandOf(const std::string &word) {
    for (const auto &s : kSubcommands)
        if (word == subcommandName(s.sub))
            return s.sub;
    return std::nullopt;
}

// What the parse collects beside the Command itself.
struct State {
    Command cmd;
    protocol::SettingChoices choices = // the window's opening selection
        protocol::explainSettingByte(protocol::kDefaultSetting);
    std::string firstSettingName;        // the first --cutter ... --set-baud given
    std::optional<std::uint8_t> byte;    // --byte
    std::optional<std::string> portWord; // --port as given
    bool printerGiven = false;
};

// Returns an error text ("" when the value is fine).
using Handler = std::string (*)(State &, const std::string &value);

struct OptionRow {
    const char *name;
    bool takesValue;
    Mask scope;
    bool repeatable;
    Handler handle;
};

// A value that takes one of two words, e.g. "yes" or "no".
template <typename T>
std::string eitherOf(const std::string &v, const char *first, T firstValue, const char *second,
                     T secondValue, T &out) {
    if (v == first || v == second) {
        out = v == first ? firstValue : secondValue;
        return {};
    }
    return quoted(v) + " is not " + first + " or " + second;
}

std::string yesNo(const std::string &v, bool &out) {
    return eitherOf(v, "yes", true, "no", false, out);
}

std::string parseBaud(const std::string &v, int &out) {
    const int rate = protocol::knownBaud(v);
    if (rate == 0)
        return batch::notABaudRate(v);
    out = rate;
    return {};
}

std::string parseByte(const std::string &v, std::uint8_t &out) {
    const bool hex = v.size() > 2 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X');
    const char *b = v.data() + (hex ? 2 : 0);
    const char *e = v.data() + v.size();
    unsigned n = 0;
    const auto [end, ec] = std::from_chars(b, e, n, hex ? 16 : 10);
    if (b == e || ec != std::errc() || end != e || n > 0xFF)
        return quoted(v) + " is not a byte (0x00 to 0xFF, or 0 to 255)";
    out = static_cast<std::uint8_t>(n);
    return {};
}

// Seconds, fractions allowed, more than 0 and at most kMaxWaitSeconds, as milliseconds.
std::string parseSeconds(const std::string &v, int &millis) {
    double seconds = 0;
    const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), seconds);
    if (v.empty() || ec != std::errc() || end != v.data() + v.size() || !(seconds > 0) ||
        seconds > kMaxWaitSeconds)
        return quoted(v) + " is not a number of seconds above 0 and up to " +
               std::to_string(kMaxWaitSeconds);
    millis = std::max(1, static_cast<int>(seconds * 1000 + 0.5));
    return {};
}

// A whole number from min to max; returns why not.
std::string wholeNumber(const std::string &v, int min, int max, int &out) {
    int n = 0;
    const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
    if (v.empty() || ec != std::errc() || end != v.data() + v.size() || n < min || n > max)
        return quoted(v) + " is not a number from " + std::to_string(min) + " to " +
               std::to_string(max);
    out = n;
    return {};
}

const OptionRow kOptions[] = {
    {"--port", true, kOpens, false,
     [](State &s, const std::string &v) {
         if (const std::string why = batch::checkPortWord(v); !why.empty())
             return why;
         s.portWord = v;
         return std::string();
     }},
    {"--ip", true, kOpens, true,
     [](State &s, const std::string &v) {
         std::string why;
         if (!posdll::parseNetworkAddress(v, &why))
             return why;
         s.cmd.targets.push_back({TargetArg::Kind::Address, v});
         return std::string();
     }},
    {"--targets", true, kOpens, true,
     [](State &s, const std::string &v) {
         if (v.empty())
             return std::string("the file name is empty");
         s.cmd.targets.push_back({TargetArg::Kind::File, v});
         return std::string();
     }},
    {"--baud", true, kOpens, false,
     [](State &s, const std::string &v) {
         int rate = 0;
         std::string why = parseBaud(v, rate);
         if (why.empty())
             s.cmd.baud = v;
         return why;
     }},
    {"--printer", true, kOpens, false,
     [](State &s, const std::string &v) {
         if (v.empty())
             return std::string("the queue name is empty");
         s.cmd.printer = v;
         s.printerGiven = true;
         return std::string();
     }},
    {"--jobs", true, kOpens | bit(Subcommand::Scan), false,
     [](State &s, const std::string &v) { return wholeNumber(v, 1, kMaxJobs, s.cmd.jobs); }},
    {"--wait", true, kActions, false,
     [](State &s, const std::string &v) {
         return wholeNumber(v, 1, kMaxWaitSeconds, s.cmd.waitSeconds);
     }},
    {"--json", false, kAll, false,
     [](State &s, const std::string &) {
         s.cmd.json = true;
         return std::string();
     }},
    {"--dry-run", false, kActions, false,
     [](State &s, const std::string &) {
         s.cmd.dryRun = true;
         return std::string();
     }},
    {"--verify", false, kActions, false,
     [](State &s, const std::string &) {
         s.cmd.verify = true;
         return std::string();
     }},
    {"--connect-timeout", true, kOpens | kReads, false,
     [](State &s, const std::string &v) { return parseSeconds(v, s.cmd.connectMillis); }},
    {"--write-timeout", true, kOpens | kReads, false,
     [](State &s, const std::string &v) { return parseSeconds(v, s.cmd.writeMillis); }},
    {"--status-timeout", true, kOpens | kReads, false,
     [](State &s, const std::string &v) { return parseSeconds(v, s.cmd.statusMillis); }},
    {"--port-number", true, bit(Subcommand::Scan), false,
     [](State &s, const std::string &v) { return wholeNumber(v, 1, 65535, s.cmd.scanPort); }},
    {"--cutter", true, kStore, false,
     [](State &s, const std::string &v) { return yesNo(v, s.choices.cutter); }},
    {"--beeper", true, kStore, false,
     [](State &s, const std::string &v) { return yesNo(v, s.choices.beeper); }},
    {"--density", true, kStore, false,
     [](State &s, const std::string &v) {
         return eitherOf(v, protocol::densityName(protocol::Density::Dark), protocol::Density::Dark,
                         protocol::densityName(protocol::Density::Light), protocol::Density::Light,
                         s.choices.density);
     }},
    {"--two-byte", true, kStore, false,
     [](State &s, const std::string &v) { return yesNo(v, s.choices.twoByteCode); }},
    {"--chars", true, kStore, false,
     [](State &s, const std::string &v) {
         return eitherOf(v, "42", 42, "48", 48, s.choices.charsPerLine);
     }},
    {"--paper-taken", true, kStore, false,
     [](State &s, const std::string &v) { return yesNo(v, s.choices.paperTakenDetect); }},
    {"--set-baud", true, kStore, false,
     [](State &s, const std::string &v) { return parseBaud(v, s.choices.baud); }},
    {"--byte", true, kStore, false,
     [](State &s, const std::string &v) {
         std::uint8_t b = 0;
         std::string why = parseByte(v, b);
         if (why.empty())
             s.byte = b;
         return why;
     }},
};

bool isSettingName(const std::string &name) {
    return name == "--cutter" || name == "--beeper" || name == "--density" ||
           name == "--two-byte" || name == "--chars" || name == "--paper-taken" ||
           name == "--set-baud";
}

const OptionRow *findOption(const std::string &name) {
    for (const auto &o : kOptions)
        if (name == o.name)
            return &o;
    return nullptr;
}

// The checks that need the whole command line.
std::optional<UsageError> finish(State &s) {
    Command &c = s.cmd;
    auto error = [&](std::string arg, std::string msg) {
        return UsageError{std::move(arg), std::move(msg), c.sub};
    };
    if (c.sub == Subcommand::Decode && c.hex.empty())
        return error("", "decode needs the bytes to explain, e.g. 'decode 1F1B1FA1101112131415FD'");
    if (c.sub == Subcommand::Store) {
        if (s.byte && !s.firstSettingName.empty())
            return error("--byte", "--byte cannot be combined with " + s.firstSettingName);
        const protocol::SettingChoices choices =
            s.byte ? protocol::explainSettingByte(*s.byte) : s.choices;
        protocol::optionStatesFor(choices, c.options); // every value was checked above
    }
    if (c.sub == Subcommand::Scan && c.network.empty())
        return error("", "scan needs the network to sweep, e.g. 'scan 192.168.1.0/24'");
    if (!opensTargets(c.sub))
        return std::nullopt;

    const bool driver = s.portWord == "DRIVER";
    if (s.portWord && *s.portWord != "ETHERNET") {
        if (!c.targets.empty())
            return error("--port", "--port " + *s.portWord +
                                       " names one printer; it cannot be "
                                       "combined with --ip or --targets");
        c.port = *s.portWord;
    }
    if (driver && !s.printerGiven)
        return error("--port", "--port DRIVER needs --printer QUEUE");
    if (s.printerGiven && !driver)
        return error("--printer", "--printer is only for --port DRIVER");
    if (!c.port && c.targets.empty() && !c.dryRun)
        return error("", "no printer given: use --ip ADDRESS, --port COMn|LPTn|DRIVER or "
                         "--targets FILE");
    return std::nullopt;
}

} // namespace

bool sendsFrame(Subcommand sub) {
    return actionOf(sub).has_value();
}

std::optional<app::Action> actionOf(Subcommand sub) {
    return entryOf(sub).action;
}

const char *subcommandName(Subcommand sub) {
    const SubcommandEntry &e = entryOf(sub);
    return e.action ? app::actionEntry(*e.action).subcommand : e.word;
}

bool opensTargets(Subcommand sub) {
    return (kOpens & bit(sub)) != 0;
}

std::vector<Subcommand> allSubcommands() {
    std::vector<Subcommand> all;
    for (const auto &s : kSubcommands)
        all.push_back(s.sub);
    return all;
}

ParseResult parseArgs(const std::vector<std::string> &args) {
    if (args.empty())
        return UsageError{"", "no subcommand given", std::nullopt};
    const std::string &first = args[0];
    if (first == "--help" || first == "-h" || first == "help") {
        if (args.size() > 1)
            if (auto sub = subcommandOf(args[1]))
                return ShowHelp{sub};
        return ShowHelp{};
    }
    if (first == "--version")
        return ShowVersion{};
    const auto sub = subcommandOf(first);
    if (!sub)
        return UsageError{first, quoted(first) + " is not a subcommand", std::nullopt};

    State s;
    s.cmd.sub = *sub;
    std::set<std::string> seen;
    bool optionsEnded = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string &word = args[i];
        auto error = [&](std::string msg) { return UsageError{word, std::move(msg), *sub}; };
        if (optionsEnded || word.size() < 2 || word[0] != '-') {
            if (*sub == Subcommand::Scan && s.cmd.network.empty()) {
                std::string why;
                if (!batch::parseCidr(word, &why))
                    return error(why);
                s.cmd.network = word;
                continue;
            }
            if (*sub != Subcommand::Decode)
                return error(quoted(word) + ": " + subcommandName(*sub) +
                             " takes no such argument");
            if (!protocol::parseHex(word))
                return error(quoted(word) + " is not hexadecimal bytes");
            s.cmd.hex.push_back(word);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        if (word == "--help" || word == "-h")
            return ShowHelp{*sub};

        // --name=value, --name value, -j N, -jN
        std::string name = word;
        std::optional<std::string> value;
        if (word.rfind("--", 0) == 0) {
            if (const auto eq = word.find('='); eq != std::string::npos) {
                name = word.substr(0, eq);
                value = word.substr(eq + 1);
            }
        } else if (word.rfind("-j", 0) == 0) {
            name = "--jobs";
            if (word.size() > 2)
                value = word.substr(2);
        } else {
            return error(quoted(word) + " is not an option of " + subcommandName(*sub));
        }
        const OptionRow *opt = findOption(name);
        if (!opt || !(opt->scope & bit(*sub))) {
            if (opt && opt->scope == kStore)
                return error(name + " is only for store");
            return error(quoted(name) + " is not an option of " + subcommandName(*sub));
        }
        if (!opt->takesValue && value)
            return error(name + " takes no value");
        if (opt->takesValue && !value) {
            if (i + 1 >= args.size())
                return error(name + " needs a value");
            value = args[++i];
        }
        if (!opt->repeatable && !seen.insert(opt->name).second)
            return error(name + " is given twice");
        if (isSettingName(opt->name) && s.firstSettingName.empty())
            s.firstSettingName = opt->name;
        if (const std::string why = opt->handle(s, value.value_or("")); !why.empty())
            return error(name + ": " + why);
    }
    if (auto e = finish(s))
        return *e;
    return s.cmd;
}

} // namespace cli
