// The command line of posdip-cli as data. Pure: a function from the words after the program
// name to what to do, or to a usage error that names the bad argument.
#pragma once

#include "app/actions.h"
#include "device/port_kind.h"
#include "posdll/port_names.h"
#include "protocol/setting_byte.h"

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace cli {

enum class Subcommand {
    Enable,
    Disable,
    Restore,
    Store,
    SelfTest,
    Status,
    Identify,
    Check,
    Scan,
    Decode,
    Printers,
    Ports
};

// The action a subcommand runs: only those that send a frame have one.
std::optional<app::Action> actionOf(Subcommand sub);
bool sendsFrame(Subcommand sub);
const char *subcommandName(Subcommand sub);
// The subcommands that open the printers they are given (the sends and status).
bool opensTargets(Subcommand sub);
// In the order the overview lists them.
std::vector<Subcommand> allSubcommands();
// "posdip-cli store [SETTING...] [--ip ADDRESS | --port PORT | --targets FILE]... [OPTIONS]"
std::string usageLine(Subcommand sub);

// One --ip or --targets, in the order given.
struct TargetArg {
    enum class Kind { Address, File } kind;
    std::string value;
    bool operator==(const TargetArg &) const = default;
};

inline constexpr int kDefaultJobs = 16;
inline constexpr int kMaxJobs = 1024;
inline constexpr int kDefaultStatusMillis = app::kDefaultStatusWaitMillis;
inline constexpr int kMaxWaitSeconds = 3600;
// check's whole bound unless -t gives another, as monitoring plugins have it.
inline constexpr int kDefaultCheckMillis = 10000;

struct Command {
    Subcommand sub = Subcommand::Enable;
    std::optional<std::string> port; // --port, when it names one port other than ETHERNET
    std::string baud = std::to_string(protocol::defaultBaud()); // --baud, for COM ports
    std::string printer;                                        // --printer, for DRIVER
    std::vector<TargetArg> targets;                             // --ip and --targets
    int jobs = kDefaultJobs;                                    // -j
    int waitSeconds = 0; // --wait: print queues deliver within this, 0 = not waited
    bool json = false;
    bool quiet = false; // -q: only failures, no progress
    bool dryRun = false;
    bool verify = false;    // sends: status first
    bool ifChanged = false; // store, restore: send nothing where the ledger holds the setting
    bool force = false;     // with ifChanged: send all the same
    std::optional<std::string> ledgerPath;   // --ledger
    int connectMillis = 0;                   // --connect-timeout; 0: the library's default
    int writeMillis = 0;                     // --write-timeout; 0: the library's default
    int statusMillis = kDefaultStatusMillis; // --status-timeout
    std::string metricsPath;                 // status: --metrics, the file to write
    bool identify = false;                   // status: --identify
    int checkMillis = kDefaultCheckMillis;   // check: -t, the whole check's bound
    std::string network;                     // scan: the CIDR
    int scanPort = posdll::kPrinterPort;     // scan: --port-number
    protocol::SettingChoices choices = protocol::defaultChoices(); // store
    std::vector<std::string> hex;                                  // decode
    // The options given that serve one kind of port only (--baud: COM), by name.
    std::vector<std::string> portOptions;
};

struct ShowHelp {
    std::optional<Subcommand> sub; // none: the overview
};
struct ShowVersion {};

struct UsageError {
    std::string argument; // the word at fault, as given ("" when something is missing)
    std::string message;  // "--chars: '40' is not 42 or 48"
    std::optional<Subcommand> sub;
};

using ParseResult = std::variant<Command, ShowHelp, ShowVersion, UsageError>;

ParseResult parseArgs(const std::vector<std::string> &args);

// The options, one row each: the parser reads them, and so do --help, the shell completions
// and the manual page (generated from them at build time), so a new option is one new row.
enum class OptionGroup { Target, Setting, Other }; // where --help and the manual list it
enum class OptionValue { Text, File, Queue };      // what a completion offers, beside choices

using SubcommandMask = unsigned;
struct ParseState;
// Takes the option's value into the state; returns why it is wrong ("" when it is fine).
using OptionHandler = std::string (*)(ParseState &, const std::string &value);

struct OptionRow {
    struct Help {
        SubcommandMask subs; // the subcommands this wording is for
        std::string text;    // may run over lines ('\n')
    };
    const char *name = nullptr; // "--jobs"
    char shortName = 0;         // 'j'
    std::string hint{};         // the value after the name: "N", "yes|no"; empty: it takes none
    OptionValue value = OptionValue::Text;
    std::vector<std::string> choices{}; // the values there are, when they are few
    OptionGroup group = OptionGroup::Other;
    SubcommandMask scope = 0;
    std::vector<Help> help{}; // the first whose subs hold the subcommand is its wording
    std::string manual{};     // the manual page's longer text; empty: the first wording
    bool repeatable = false;
    // The one kind of port the option serves; given with no such target, it is refused.
    std::optional<device::PortKind> forPort{};
    std::string insteadHint{}; // what the user may have meant then: "--set-baud sets ..."
    OptionHandler handle = nullptr;
    // Before any subcommand (--help, --version).
    bool topLevel = false;
};

const std::vector<OptionRow> &optionRows();
const OptionRow *optionRow(std::string_view name);
bool appliesTo(const OptionRow &row, Subcommand sub);
// The row's wording for sub (for the manual, with no subcommand: the first).
const std::string &optionHelp(const OptionRow &row, std::optional<Subcommand> sub);

} // namespace cli
