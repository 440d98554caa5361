#include "cli_args.h"

#include "batch/cidr.h"
#include "batch/targets.h"
#include "output.h"

#include "device/port_catalogue.h"
#include "posdll/port_names.h"
#include "posdll/posdll.h"
#include "posdll/quoted.h"
#include "protocol/frame_decode.h"

#include <algorithm>
#include <charconv>
#include <set>

namespace cli {

namespace {

using Mask = SubcommandMask;
using posdll::quoted;
constexpr Mask bit(Subcommand s) {
    return 1u << static_cast<unsigned>(s);
}

// Every subcommand: those that send a frame run an action and take its word from the action
// table, the others have a word of their own.
struct SubcommandEntry {
    Subcommand sub;
    std::optional<app::Action> action;
    const char *word;     // when there is no action
    const char *operands; // what follows the word, when it opens no targets
};
constexpr SubcommandEntry kSubcommands[] = {
    {Subcommand::Enable, app::Action::EnableDip, nullptr, nullptr},
    {Subcommand::Disable, app::Action::DisableDip, nullptr, nullptr},
    {Subcommand::Restore, app::Action::RestoreDefault, nullptr, nullptr},
    {Subcommand::Store, app::Action::StoreSetting, nullptr, nullptr},
    {Subcommand::SelfTest, app::Action::PrintSelfTest, nullptr, nullptr},
    {Subcommand::Status, std::nullopt, "status", nullptr},
    {Subcommand::Identify, std::nullopt, "identify", nullptr},
    {Subcommand::Check, std::nullopt, "check", nullptr},
    {Subcommand::Scan, std::nullopt, "scan", "A.B.C.D[/PREFIX] [OPTIONS]"},
    {Subcommand::Decode, std::nullopt, "decode", "[--json] HEX..."},
    {Subcommand::Printers, std::nullopt, "printers", "[--json]"},
    {Subcommand::Ports, std::nullopt, "ports", "[--json]"},
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
constexpr Mask kSettings = kStore | bit(Subcommand::Restore); // the sends that store a setting
constexpr Mask kCheck = bit(Subcommand::Check);
constexpr Mask kStatus = bit(Subcommand::Status);
constexpr Mask kOpens = kActions | kStatus | bit(Subcommand::Identify) | kCheck;
constexpr Mask kReads = kStatus | bit(Subcommand::Identify) | kCheck | bit(Subcommand::Scan);
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

} // namespace

// What the parse collects beside the Command itself.
struct ParseState {
    Command cmd;
    bool topLevel = false;             // before the subcommand
    std::optional<ParseResult> reply;  // --help, --version: what to do instead
    protocol::SettingChoices choices = // the window's opening selection
        protocol::explainSettingByte(protocol::kDefaultSetting);
    std::string firstSettingName;        // the first --cutter ... --set-baud given
    std::optional<std::uint8_t> byte;    // --byte
    std::optional<std::string> portWord; // --port as given
    bool printerGiven = false;
};

namespace {

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

std::string parseBaud(const std::string &v, protocol::Baud &out) {
    const std::optional<protocol::Baud> baud = protocol::baudOfRate(protocol::knownBaud(v));
    if (!baud)
        return batch::notABaudRate(v);
    out = *baud;
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

// The yes|no choices, and the like, as a completion offers them.
std::vector<std::string> wordsOf(const std::string &choices, char separator) {
    std::vector<std::string> words;
    for (std::size_t b = 0; b <= choices.size();) {
        const std::size_t e = std::min(choices.find(separator, b), choices.size());
        words.push_back(choices.substr(b, e - b));
        b = e + 1;
    }
    return words;
}

constexpr const char *kByteOption = "--byte";

std::vector<OptionRow> makeOptionRows() {
    using G = OptionGroup;
    const std::string bauds = protocol::baudRateChoices("|");
    const std::vector<std::string> yesNoWords = {"yes", "no"};
    const protocol::SettingChoices d = protocol::explainSettingByte(protocol::kDefaultSetting);
    auto byDefault = [](const std::string &v) { return " (default " + v + ")"; };
    auto yesNoDefault = [&](bool b) { return byDefault(b ? "yes" : "no"); };
    auto seconds = [&](int millis) { return byDefault(std::to_string(millis / 1000)); };
    const std::string ip =
        "a network printer (TCP port " + std::to_string(posdll::kPrinterPort) + " unless given)";
    const std::string jobs = std::to_string(kDefaultJobs);
    const std::string statusByte = "seconds to wait for each status byte";
    const std::string statusDefault = seconds(kDefaultStatusMillis);
    const std::string noBytes = "seconds a port may take no bytes";
    const std::string writeDefault = seconds(POS_DEFAULT_WRITE_MILLIS);
    const std::vector<std::string> ports(device::kPortCatalogue.begin(),
                                         device::kPortCatalogue.end());

    return {
        {.name = "--port",
         .hint = "ETHERNET|COMn|LPTn|DRIVER",
         .choices = ports,
         .group = G::Target,
         .scope = kOpens,
         .help = {{kActions, "the kind of port, as in the window's port list"},
                  {kAll, "the kind of port"}},
         .manual = "The kind of port, as in the window (default ETHERNET, which needs --ip). "
                   "COM, LPT and DRIVER name one printer and cannot be combined with --ip or "
                   "--targets.",
         .handle =
             [](ParseState &s, const std::string &v) {
                 if (const std::string why = batch::checkPortWord(v); !why.empty())
                     return why;
                 s.portWord = v;
                 return std::string();
             }},
        {.name = "--ip",
         .hint = "ADDRESS[:PORT]",
         .group = G::Target,
         .scope = kOpens,
         .help = {{kActions, ip + "; may be repeated"}, {kAll, ip}},
         .manual = "A network printer: an IPv4 address, a host name or an IPv6 address in "
                   "brackets ([::1]:" +
                   std::to_string(posdll::kPrinterPort) + "). May be given many times.",
         .repeatable = true,
         .handle =
             [](ParseState &s, const std::string &v) {
                 std::string why;
                 if (!posdll::parseNetworkAddress(v, &why))
                     return why;
                 s.cmd.targets.push_back({TargetArg::Kind::Address, v});
                 return std::string();
             }},
        {.name = "--baud",
         .hint = bauds,
         .choices = wordsOf(bauds, '|'),
         .group = G::Target,
         .scope = kOpens,
         .help = {{kAll,
                   "line speed of COM ports" + byDefault(std::to_string(protocol::defaultBaud()))}},
         .forPort = device::PortKind::Serial,
         .insteadHint = "to store the printer's own rate, use store --set-baud",
         .handle =
             [](ParseState &s, const std::string &v) {
                 protocol::Baud rate{};
                 std::string why = parseBaud(v, rate);
                 if (why.empty())
                     s.cmd.baud = v;
                 return why;
             }},
        {.name = "--printer",
         .hint = "QUEUE",
         .value = OptionValue::Queue,
         .group = G::Target,
         .scope = kOpens,
         .help = {{kAll, "the print queue, with --port DRIVER"}},
         .handle =
             [](ParseState &s, const std::string &v) {
                 if (v.empty())
                     return std::string("the queue name is empty");
                 if (const auto problem = posdll::queueNameProblem(v))
                     return quoted(v) + ": " + *problem;
                 s.cmd.printer = v;
                 s.printerGiven = true;
                 return std::string();
             }},
        {.name = "--targets",
         .hint = "FILE",
         .value = OptionValue::File,
         .group = G::Target,
         .scope = kOpens,
         .help = {{kActions, "one printer a line: 'ETHERNET 10.1.2.3', 'COM3 [BAUD]', 'LPT1',\n"
                             "'DRIVER Kitchen'; '#' starts a comment; may be repeated, '-' is "
                             "stdin"},
                  {kAll, "one printer a line, as for the sending subcommands"}},
         .manual = "One printer a line: 'ETHERNET ADDRESS[:PORT]', 'COMn [BAUD]', 'LPTn', "
                   "'DRIVER QUEUE'; a bare address is a network printer, and port words may be "
                   "written in any case. A # starts a comment; blank lines are skipped. A bad line "
                   "is a usage error that names the file and the line number. A UTF-8 byte "
                   "order mark at the start is skipped. A line longer than " +
                   std::to_string(batch::kMaxTargetLineBytes) + " bytes, or a list longer than " +
                   std::to_string(batch::kMaxTargetFileBytes >> 20) +
                   " MiB, is refused as a usage error before any printer is reached. - reads "
                   "the list from standard input. May be given many times, and mixed with --ip; "
                   "printers are served in the order given.",
         .repeatable = true,
         .handle =
             [](ParseState &s, const std::string &v) {
                 if (v.empty())
                     return std::string("the file name is empty");
                 s.cmd.targets.push_back({TargetArg::Kind::File, v});
                 return std::string();
             }},
        {.name = "--port-number",
         .hint = "N",
         .scope = bit(Subcommand::Scan),
         .help = {{kAll, "the TCP port to try" + byDefault(std::to_string(posdll::kPrinterPort))}},
         .handle = [](ParseState &s,
                      const std::string &v) { return wholeNumber(v, 1, 65535, s.cmd.scanPort); }},
        {.name = "--jobs",
         .shortName = 'j',
         .hint = "N",
         .scope = (kOpens & ~kCheck) | bit(Subcommand::Scan),
         .help = {{kActions, "at most N network printers connecting and writing at once "
                             "(default\n" +
                                 jobs +
                                 "), their ends of document overlapping beyond; serial, "
                                 "parallel\nand queue printers are served one at a time"},
                  {kStatus | bit(Subcommand::Identify),
                   "at most N network printers at once" + byDefault(jobs)},
                  {kAll, "at most N addresses at once" + byDefault(jobs)}},
         .manual = "At most N network printers connecting and writing at once (default " + jobs +
                   ", at most " + std::to_string(kMaxJobs) +
                   "), and fewer when the open-file limit would not leave a descriptor for each; "
                   "the soft limit is first raised to the hard one. A printer that still finds "
                   "no free descriptor waits for another to finish. Serial, parallel and queue "
                   "printers are served one at a time, beside the network ones. A network "
                   "printer that has taken the document gives its place to the next one while "
                   "its end of document runs (the acknowledgement and half a second's watch for "
                   "a reset). With scan: at most N addresses tried at once.",
         .handle = [](ParseState &s,
                      const std::string &v) { return wholeNumber(v, 1, kMaxJobs, s.cmd.jobs); }},
        {.name = "--wait",
         .hint = "SECONDS",
         .scope = kActions,
         .help = {{kAll, "wait until each print queue has delivered its job to the printer;\n"
                         "one not delivered within the time fails and is cancelled"}},
         .manual = "For print queues (DRIVER): wait until the print server reports each job "
                   "completed, at most SECONDS (1 to " +
                   std::to_string(kMaxWaitSeconds) +
                   "). A job not completed in time is cancelled, so it cannot print later, and "
                   "fails (kind timeout) with \"delivery not confirmed within N s\" when the "
                   "printer may have taken it, \"not delivered\" when it never left the queue; "
                   "one the server aborts or someone cancels fails at once. Without --wait, a job "
                   "the queue took is reported as "
                   "spooled, not ok. Given with no print queue among the printers, it is a usage "
                   "error.",
         .forPort = device::PortKind::Driver,
         .handle =
             [](ParseState &s, const std::string &v) {
                 return wholeNumber(v, 1, kMaxWaitSeconds, s.cmd.waitSeconds);
             }},
        {.name = "--json",
         .scope = kAll & ~kCheck,
         .help = {{bit(Subcommand::Scan), "the status result of each printer found, one a line"},
                  {kAll, "one JSON object a line instead of text"}},
         .manual =
             "One JSON object a line instead of text; every line has the key schema (" +
             std::to_string(kJsonSchema) +
             "), and a key with no value is left out. A result has the keys target, port "
             "(ETHERNET, COMn, LPTn, DRIVER), address and tcp_port, device or queue, action, ok, "
             "kind, stage, elapsed_ms, written (bytes of the frame the printer's "
             "port took), message and reason; sends add frame, store "
             "and restore add setting (byte, cutter, beeper, density, two_byte, chars, "
             "paper_taken, baud, meaning; the same object in decode and --dry-run); with "
             "--if-changed or --ledger they add serial (null when the printer gave none), "
             "replaced, previous (the setting the ledger says the printer holds, as setting, or "
             "null) and, with --dry-run, dry_run; status, scan and --verify add status (ready, "
             "bytes, conditions, offline, cover_open, paper, error) when the printer answered; "
             "identify and status --identify add identity (maker, model, firmware, serial, "
             "multibyte, cutter, each null when the printer did not say, and raw: every reply by "
             "its n, the one-byte ones in hex). A batch stopped by a signal gives each target it "
             "did not reach a line of kind not-attempted. kind is one of not-attempted, ok, "
             "spooled, unchanged, refused, timeout, unreachable, reset, closed, busy, denied, "
             "missing, not-a-device, queue, not-ready, cannot-verify, usage, no-descriptors, "
             "internal; stage one of open, status, write, end, close.",
         .handle =
             [](ParseState &s, const std::string &) {
                 s.cmd.json = true;
                 return std::string();
             }},
        {.name = "--quiet",
         .shortName = 'q',
         .scope = kOpens,
         .help = {{kAll, "print only the printers that failed, and no progress"}},
         .manual = "Prints only the printers that failed and no progress line; on a terminal, "
                   "one line of counts on standard error at the end (\"12 printers: 10 ok, 1 "
                   "spooled, 1 failed\").",
         .handle =
             [](ParseState &s, const std::string &) {
                 s.cmd.quiet = true;
                 return std::string();
             }},
        {.name = "--dry-run",
         .scope = kActions,
         .help = {{kSettings, "print the frame in hex and what it means, open nothing;\n"
                              "with --if-changed, say which printers would be sent it"},
                  {kAll, "print the frame in hex and what it means, open nothing"}},
         .manual = "Prints the frame in hex and what it means, and the printers it would go to; "
                   "opens nothing. With --if-changed, asks each printer for its serial number "
                   "and reads the ledger instead, and says for each printer whether it would be "
                   "sent the frame (kind ok) or not (kind unchanged); it sends and records "
                   "nothing.",
         .handle =
             [](ParseState &s, const std::string &) {
                 s.cmd.dryRun = true;
                 return std::string();
             }},
        {.name = "--if-changed",
         .scope = kSettings,
         .help = {{kAll, "send nothing to a printer the ledger says holds the setting\n"
                         "(kind unchanged); record what was stored"}},
         .manual = "Asks each printer for its serial number (GS I 68) first and sends nothing to "
                   "one the ledger says holds the setting already (kind unchanged, a success); "
                   "a printer swapped for another at the same target is sent it (replaced). "
                   "Each setting that reached a printer is recorded. With --dry-run, says which "
                   "printers would be sent the frame and sends and records nothing. See THE "
                   "LEDGER.",
         .handle =
             [](ParseState &s, const std::string &) {
                 s.cmd.ifChanged = true;
                 return std::string();
             }},
        {.name = "--force",
         .scope = kSettings,
         .help = {{kAll, "with --if-changed: send to every printer all the same,\n"
                         "and record it"}},
         .manual = "With --if-changed: sends the setting even to printers the ledger says hold "
                   "it, and records it as --if-changed does.",
         .handle =
             [](ParseState &s, const std::string &) {
                 s.cmd.force = true;
                 return std::string();
             }},
        {.name = "--ledger",
         .hint = "FILE",
         .value = OptionValue::File,
         .scope = kSettings,
         .help = {{kAll, "the ledger of stored settings (default /var/lib/posdip/ledger.json\n"
                         "when it can be written, else $XDG_STATE_HOME/posdip/ledger.json);\n"
                         "without --if-changed, sends to every printer and records"}},
         .manual = "The ledger --if-changed reads and keeps; by default "
                   "/var/lib/posdip/ledger.json when that folder can be written, else "
                   "$XDG_STATE_HOME/posdip/ledger.json (~/.local/state when XDG_STATE_HOME is "
                   "not set). It is replaced whole through a temporary file in the same folder, "
                   "under a lock on FILE.lock. Given without --if-changed, every printer is sent "
                   "the setting and the ledger records it.",
         .handle =
             [](ParseState &s, const std::string &v) {
                 if (v.empty())
                     return std::string("the file name is empty");
                 s.cmd.ledgerPath = v;
                 return std::string();
             }},
        {.name = "--verify",
         .scope = kActions,
         .help = {{kAll, "ask for the status first; send nothing to a printer that is not\n"
                         "ready (kind not-ready, stage status)"}},
         .manual = "Reads the printer's status first, on the same connection, and sends nothing "
                   "to a printer that is not ready (kind not-ready, stage status). For a DRIVER "
                   "target it checks the queue as status does; a port that passes nothing back "
                   "from its printer (a FIFO, a parallel port without a back channel) is refused "
                   "at once (kind cannot-verify, stage status).",
         .handle =
             [](ParseState &s, const std::string &) {
                 s.cmd.verify = true;
                 return std::string();
             }},
        {.name = "--connect-timeout",
         .hint = "S",
         .scope = kOpens | kReads,
         .help = {{bit(Subcommand::Scan),
                   "seconds for each address to accept" + seconds(POS_DEFAULT_CONNECT_MILLIS)},
                  {kAll,
                   "seconds to reach a network printer" + seconds(POS_DEFAULT_CONNECT_MILLIS)}},
         .manual = "How many seconds reaching a network printer may take, name lookup included" +
                   seconds(POS_DEFAULT_CONNECT_MILLIS) + ".",
         .forPort = device::PortKind::Ethernet,
         .handle = [](ParseState &s,
                      const std::string &v) { return parseSeconds(v, s.cmd.connectMillis); }},
        {.name = "--write-timeout",
         .hint = "S",
         .scope = kOpens | kReads,
         .help = {{kActions, noBytes + ", and to confirm the end" + writeDefault},
                  {kAll, noBytes + writeDefault}},
         .manual = "How many seconds a port may take no bytes, and the printer may take to "
                   "confirm the end" +
                   writeDefault + ".",
         .handle = [](ParseState &s,
                      const std::string &v) { return parseSeconds(v, s.cmd.writeMillis); }},
        {.name = "--status-timeout",
         .hint = "S",
         .scope = kOpens | kReads,
         .help = {{kSettings, statusByte +
                                  " with --verify, and for the serial\nnumber with "
                                  "--if-changed" +
                                  statusDefault},
                  {kActions, statusByte + " with --verify" + statusDefault},
                  {bit(Subcommand::Status),
                   statusByte + statusDefault + "; it\ndoes not follow --write-timeout"},
                  {kAll, statusByte + statusDefault}},
         .manual = "How many seconds to wait for each status byte, with status, scan and "
                   "--verify, and for the serial number with --if-changed" +
                   statusDefault + ".",
         .handle = [](ParseState &s,
                      const std::string &v) { return parseSeconds(v, s.cmd.statusMillis); }},
        {.name = "--metrics",
         .hint = "PATH",
         .value = OptionValue::File,
         .scope = kStatus,
         .help = {{kAll, "write the readings to PATH for the node exporter's textfile\n"
                         "collector instead of standard output"}},
         .manual = "Writes the readings to PATH in the Prometheus text format, for the node "
                   "exporter's textfile collector, instead of printing them: "
                   "posdip_printer_up, posdip_printer_ready and posdip_printer_condition "
                   "(media-low, media-empty, cover-open, offline, error) per printer, labelled "
                   "target as its targets line names it, and once posdip_status_last_run_"
                   "timestamp_seconds and posdip_status_duration_seconds. PATH is replaced "
                   "whole (PATH.tmp.PID in the same folder, synced, then renamed), so a reader "
                   "never sees half a file. Exit status 0 once it is written, whatever the "
                   "printers said; 3, with the old file left as it was, when it cannot be.",
         .handle =
             [](ParseState &s, const std::string &v) {
                 if (v.empty())
                     return std::string("the file name is empty");
                 s.cmd.metricsPath = v;
                 return std::string();
             }},
        {.name = "--identify",
         .scope = kStatus,
         .help = {{kAll, "also ask each printer that answered who it is (GS I n)"}},
         .manual = "Also asks each printer that answered its status who it is, as identify "
                   "does; with --metrics, adds posdip_printer_info{maker,model,firmware,serial} "
                   "1 for each printer that gave its ID.",
         .handle =
             [](ParseState &s, const std::string &) {
                 s.cmd.identify = true;
                 return std::string();
             }},
        {.name = "--timeout",
         .shortName = 't',
         .hint = "SECONDS",
         .scope = kCheck,
         .help = {{kAll, "the whole check's bound" + seconds(kDefaultCheckMillis)}},
         .manual = "How many seconds the whole check may take" + seconds(kDefaultCheckMillis) +
                   "; a printer that has not answered by then is CRITICAL, whatever the "
                   "connect and status timeouts.",
         .handle = [](ParseState &s,
                      const std::string &v) { return parseSeconds(v, s.cmd.checkMillis); }},
        {.name = "--help",
         .shortName = 'h',
         .scope = kAll,
         .help = {{kAll, "this text"}},
         .manual = "Describes the subcommand and its options; before any subcommand, lists the "
                   "subcommands.",
         .handle =
             [](ParseState &s, const std::string &) {
                 s.reply = ShowHelp{s.topLevel ? std::nullopt : std::optional(s.cmd.sub)};
                 return std::string();
             },
         .topLevel = true},
        {.name = "--version",
         .help = {{kAll, "print the version"}},
         .handle =
             [](ParseState &s, const std::string &) {
                 s.reply = ShowVersion{};
                 return std::string();
             },
         .topLevel = true},
        {.name = "--cutter",
         .hint = "yes|no",
         .choices = yesNoWords,
         .group = G::Setting,
         .scope = kStore,
         .help = {{kAll, "select cutter" + yesNoDefault(d.cutter)}},
         .handle = [](ParseState &s, const std::string &v) { return yesNo(v, s.choices.cutter); }},
        {.name = "--beeper",
         .hint = "yes|no",
         .choices = yesNoWords,
         .group = G::Setting,
         .scope = kStore,
         .help = {{kAll, "select beeper" + yesNoDefault(d.beeper)}},
         .handle = [](ParseState &s, const std::string &v) { return yesNo(v, s.choices.beeper); }},
        {.name = "--density",
         .hint = std::string(protocol::densityName(protocol::Density::Dark)) + "|" +
                 protocol::densityName(protocol::Density::Light),
         .choices = {protocol::densityName(protocol::Density::Dark),
                     protocol::densityName(protocol::Density::Light)},
         .group = G::Setting,
         .scope = kStore,
         .help = {{kAll, "print density" + byDefault(protocol::densityName(d.density))}},
         .handle =
             [](ParseState &s, const std::string &v) {
                 return eitherOf(v, protocol::densityName(protocol::Density::Dark),
                                 protocol::Density::Dark,
                                 protocol::densityName(protocol::Density::Light),
                                 protocol::Density::Light, s.choices.density);
             }},
        {.name = "--two-byte",
         .hint = "yes|no",
         .choices = yesNoWords,
         .group = G::Setting,
         .scope = kStore,
         .help = {{kAll, "two-byte character code" + yesNoDefault(d.twoByteCode)}},
         .handle = [](ParseState &s,
                      const std::string &v) { return yesNo(v, s.choices.twoByteCode); }},
        {.name = "--chars",
         .hint = "42|48",
         .choices = {"42", "48"},
         .group = G::Setting,
         .scope = kStore,
         .help = {{kAll, "characters per line" +
                             byDefault(std::to_string(protocol::charCount(d.charsPerLine)))}},
         .handle =
             [](ParseState &s, const std::string &v) {
                 return eitherOf(v, "42", protocol::CharsPerLine::Chars42, "48",
                                 protocol::CharsPerLine::Chars48, s.choices.charsPerLine);
             }},
        {.name = "--paper-taken",
         .hint = "yes|no",
         .choices = yesNoWords,
         .group = G::Setting,
         .scope = kStore,
         .help = {{kAll, "detect that the paper was taken" + yesNoDefault(d.paperTakenDetect)}},
         .handle = [](ParseState &s,
                      const std::string &v) { return yesNo(v, s.choices.paperTakenDetect); }},
        {.name = "--set-baud",
         .hint = bauds,
         .choices = wordsOf(bauds, '|'),
         .group = G::Setting,
         .scope = kStore,
         .help = {{kAll, "the printer's serial rate after restart" +
                             byDefault(std::to_string(protocol::baudRate(d.baud)))}},
         .handle = [](ParseState &s,
                      const std::string &v) { return parseBaud(v, s.choices.baud); }},
        {.name = kByteOption,
         .hint = "0xNN",
         .group = G::Setting,
         .scope = kStore,
         .help = {{kAll, "the setting byte itself, instead of the names above"}},
         .manual = "The setting byte itself (hexadecimal with 0x, or decimal), instead of the "
                   "names above.",
         .handle =
             [](ParseState &s, const std::string &v) {
                 std::uint8_t b = 0;
                 std::string why = parseByte(v, b);
                 if (why.empty())
                     s.byte = b;
                 return why;
             }},
    };
}

// "--jobs=4", "--jobs" or "-j4": the row and the value in the word, if any.
const OptionRow *findOption(const std::string &word, std::optional<std::string> &value) {
    const bool isLong = word.rfind("--", 0) == 0;
    const std::size_t eq = isLong ? word.find('=') : std::string::npos;
    const std::string name = word.substr(0, eq);
    for (const auto &o : optionRows()) {
        if (isLong ? name == o.name : o.shortName && word[1] == o.shortName) {
            if (eq != std::string::npos)
                value = word.substr(eq + 1);
            else if (!isLong && word.size() > 2 && !o.hint.empty())
                value = word.substr(2);
            else if (!isLong && word.size() > 2)
                return nullptr; // "-hx"
            return &o;
        }
    }
    return nullptr;
}

// The checks that need the whole command line.
std::optional<UsageError> finish(ParseState &s) {
    Command &c = s.cmd;
    auto error = [&](std::string arg, std::string msg) {
        return UsageError{std::move(arg), std::move(msg), c.sub};
    };
    if (c.sub == Subcommand::Decode && c.hex.empty())
        return error("", "decode needs the bytes to explain, e.g. 'decode 1F1B1FA1101112131415FD'");
    if (c.sub == Subcommand::Store) {
        if (s.byte && !s.firstSettingName.empty())
            return error(kByteOption, std::string(kByteOption) + " cannot be combined with " +
                                          s.firstSettingName);
        c.choices = s.byte ? protocol::explainSettingByte(*s.byte) : s.choices;
    }
    if (c.force && !c.ifChanged)
        return error("--force", "--force goes with --if-changed");
    if (c.sub == Subcommand::Scan && c.network.empty())
        return error("", "scan needs the network to sweep, e.g. 'scan 192.168.1.0/24'");
    if (!c.metricsPath.empty() && c.json)
        return error("--metrics", "--metrics cannot be combined with --json");
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

std::string usageLine(Subcommand sub) {
    const std::string line = std::string("posdip-cli ") + subcommandName(sub) + " ";
    if (!opensTargets(sub))
        return line + entryOf(sub).operands;
    const bool settings = std::ranges::any_of(optionRows(), [&](const OptionRow &o) {
        return o.group == OptionGroup::Setting && appliesTo(o, sub);
    });
    return line + (settings ? "[SETTING...] " : "") +
           "[--ip ADDRESS | --port PORT | --targets FILE]... [OPTIONS]";
}

const std::vector<OptionRow> &optionRows() {
    static const std::vector<OptionRow> rows = makeOptionRows();
    return rows;
}

const OptionRow *optionRow(std::string_view name) {
    for (const auto &o : optionRows())
        if (name == o.name)
            return &o;
    return nullptr;
}

bool appliesTo(const OptionRow &row, Subcommand sub) {
    return (row.scope & bit(sub)) != 0;
}

const std::string &optionHelp(const OptionRow &row, std::optional<Subcommand> sub) {
    for (const auto &h : row.help)
        if (!sub || (h.subs & bit(*sub)))
            return h.text;
    return row.help.back().text; // not reached: each row's last wording is for all
}

ParseResult parseArgs(const std::vector<std::string> &args) {
    if (args.empty())
        return UsageError{"", "no subcommand given", std::nullopt};
    const std::string &first = args[0];
    ParseState s;
    std::optional<std::string> value;
    if (first.rfind('-', 0) == 0 || first == "help") {
        const OptionRow *opt = findOption(first == "help" ? "--help" : first, value);
        if (!opt || !opt->topLevel || value)
            return UsageError{first, quoted(first) + " is not a subcommand", std::nullopt};
        s.topLevel = true;
        opt->handle(s, "");
        if (std::holds_alternative<ShowHelp>(*s.reply) && args.size() > 1)
            return ShowHelp{subcommandOf(args[1])};
        return *s.reply;
    }
    const auto sub = subcommandOf(first);
    if (!sub)
        return UsageError{first, quoted(first) + " is not a subcommand", std::nullopt};

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

        // --name=value, --name value, -j N, -jN
        value.reset();
        const OptionRow *opt = findOption(word, value);
        const std::string name =
            opt ? opt->name : word.substr(0, word[1] == '-' ? word.find('=') : word.npos);
        if (!opt || !(opt->scope & bit(*sub))) {
            if (opt && opt->scope == kStore)
                return error(name + " is only for store");
            return error(quoted(name) + " is not an option of " + subcommandName(*sub));
        }
        if (opt->hint.empty() && value)
            return error(name + " takes no value");
        if (!opt->hint.empty() && !value) {
            if (i + 1 >= args.size())
                return error(name + " needs a value");
            value = args[++i];
        }
        if (!opt->repeatable && !seen.insert(opt->name).second)
            return error(name + " is given twice");
        if (opt->group == OptionGroup::Setting && name != kByteOption && s.firstSettingName.empty())
            s.firstSettingName = opt->name;
        if (const std::string why = opt->handle(s, value.value_or("")); !why.empty())
            return error(name + ": " + why);
        if (opt->forPort && *sub != Subcommand::Scan) // a scan's targets are all network ones
            s.cmd.portOptions.push_back(opt->name);
        if (s.reply)
            return *s.reply;
    }
    if (auto e = finish(s))
        return *e;
    return s.cmd;
}

} // namespace cli
