#include "help.h"

#include "batch/cidr.h"

#include "device/port_catalogue.h"
#include "protocol/frame_decode.h"
#include "protocol/setting_byte.h"

#include <algorithm>

namespace cli {

namespace {

// "  enable     enable the DIP switch            (then: Please Restart Printer First!)"
std::string subcommandLine(const char *word, const std::string &summary, const char *then) {
    std::string line = std::string("  ") + word;
    line.resize(std::max<std::size_t>(line.size() + 1, 13), ' ');
    line += summary;
    if (then) {
        line.resize(std::max<std::size_t>(line.size() + 3, 46), ' ');
        line += std::string("(then: ") + then + ")";
    }
    return line + "\n";
}

// The option lines of sub, those of store's setting or the others, in the table's order:
// "  --flag ARG            text\n", the text starting in `column`, or three blanks after a longer
// flag; its further lines start in `column` too.
std::string optionLines(Subcommand sub, bool setting, std::size_t column = 24) {
    std::string lines;
    for (const OptionRow &row : optionRows()) {
        if (!appliesTo(row, sub) || (row.group == OptionGroup::Setting) != setting)
            continue;
        std::string line = std::string("  ") +
                           (row.shortName ? "-" + std::string(1, row.shortName) + ", " : "") +
                           row.name + (row.hint.empty() ? "" : " " + row.hint);
        line.resize(std::max(line.size() + 3, column), ' ');
        for (const char c : optionHelp(row, sub))
            line += c == '\n' ? "\n" + std::string(column, ' ') : std::string(1, c);
        lines += line + "\n";
    }
    return lines;
}

// The overview line and the help of a subcommand that runs no action.
struct OwnHelp {
    std::string summary;
    std::string help;
    bool reads = false; // listed among the subcommands that read from printers
};

OwnHelp ownHelp(Subcommand sub) {
    switch (sub) {
    case Subcommand::Status:
        return {
            "ask each printer whether it is ready (DLE EOT 1 to 4)",
            "Asks each printer for its real-time status (DLE EOT 1, 2, 3, 4; one byte each)\n"
            "and prints 'TARGET: ready', 'TARGET: not ready: cover open, paper end' or\n"
            "'TARGET: failed: REASON'. Works on network and serial ports and on USB printers\n"
            "(/dev/usb/lpN); for a print queue it reports the queue's own state instead.\n\n" +
                optionLines(sub, false) +
                "\n"
                "Exit status: 0 when every printer answered and is ready, 1 otherwise, 2 on a\n"
                "usage error; with --metrics 0 once the file is written, 3 when it cannot be.\n",
            true};
    case Subcommand::Identify:
        return {"ask each printer who it is: maker, model, firmware, serial (GS I n)",
                "Asks each printer for its status (DLE EOT 1 to 4), then, when it answered, for\n"
                "its ID (GS I 1, 2, 3, 65 to 69, each within the status timeout) and prints\n"
                "'TARGET: maker X, model Y, firmware 1.02, serial ABC123', leaving out what it\n"
                "did not say; a printer that leaves GS I 1 unanswered has no ID.\n\n" +
                    optionLines(sub, false) +
                    "\n"
                    "Exit status: 0 when every printer answered its status, 1 otherwise, 2 on a\n"
                    "usage error.\n",
                true};
    case Subcommand::Check:
        return {"check one printer for a monitoring system (one line, plugin exit status)",
                "Reads one printer's status and prints one line for a monitoring system:\n"
                "'POSDIP OK - ETHERNET 10.1.2.3: ready | ready=1;;;0;1 near_end=0;;;0;1 "
                "time=0.004s'.\n\n" +
                    optionLines(sub, false) +
                    "\n"
                    "Exit status: 0 OK (ready), 1 WARNING (ready, paper near its end), 2 CRITICAL\n"
                    "(not ready, unreachable, no answer in time), 3 UNKNOWN (usage error, the\n"
                    "printer's status cannot be read).\n",
                true};
    case Subcommand::Scan:
        return {
            "find the printers of an IPv4 network (at most a /" +
                std::to_string(batch::kWidestScanPrefix) + ")",
            "Tries every host address of the network (prefix " +
                std::to_string(batch::kWidestScanPrefix) +
                " to 32; the network and\n"
                "broadcast addresses are skipped below /31) and prints 'ETHERNET ADDRESS[:PORT]'\n"
                "for each that accepts and answers DLE EOT 1 to 4 with status bytes: a targets\n"
                "file for --targets. Other services on the port are not printers.\n\n" +
                optionLines(sub, false) +
                "\n"
                "Exit status: 0 when a printer was found, 1 when none, 2 on a usage error.\n",
            true};
    case Subcommand::Decode:
        return {"explain a frame or a setting byte given in hex",
                "Explains frames or a lone setting byte. The words are read as one run of bytes\n"
                "(\"1F 1B 1F A1 10 11 12 13 14 15 FD\", \"1f1b1fa1...\", \"0x1F,0x1B\") and cut "
                "into\n"
                "frames; a single byte is read as a setting byte. Exit status 1 when some bytes\n"
                "are no frame.\n"};
    case Subcommand::Printers:
        return {"list the installed print queues",
                "Lists the installed print queues, one a line, for --port DRIVER --printer "
                "QUEUE.\n"
                "A print server without queues gives an empty list (exit status 0); a server "
                "that\n"
                "cannot be reached or does not answer is an error (exit status 1). With --json,\n"
                "each queue's state (idle, processing, stopped), whether it accepts jobs, and\n"
                "its device URI, as lpstat -p -v shows them.\n"};
    case Subcommand::Ports:
        return {
            "list the serial and parallel devices and what COMn and LPTn open",
            "Lists " + device::catalogueSpan(device::PortKind::Serial) + ", " +
                device::catalogueSpan(device::PortKind::Parallel) +
                " and every other port name that reaches a device: the\n"
                "device file it opens and whether it is present, then the serial and parallel\n"
                "devices no port name reaches. COMn opens /dev/ttyS(n-1); LPTn opens "
                "/dev/lp(n-1),\n"
                "else /dev/usb/lp(n-1); POSDLL_PORT_COMn or POSDLL_PORT_LPTn in the environment\n"
                "names another device (POSDLL_PORT_COM5=/dev/ttyUSB0).\n"};
    case Subcommand::Enable:
    case Subcommand::Disable:
    case Subcommand::Restore:
    case Subcommand::Store:
    case Subcommand::SelfTest:
        break; // their action's, from the action table
    }
    return {"", ""};
}

std::string overview() {
    std::string sends;
    std::string reads;
    std::string others;
    for (Subcommand sub : allSubcommands()) {
        if (const auto action = actionOf(sub)) {
            const app::ActionEntry &entry = app::actionEntry(*action);
            sends += subcommandLine(entry.subcommand, entry.summary, entry.success);
        } else {
            const OwnHelp own = ownHelp(sub);
            (own.reads ? reads : others) +=
                subcommandLine(subcommandName(sub), own.summary, nullptr);
        }
    }
    return "Usage: posdip-cli SUBCOMMAND [OPTIONS]\n\n"
           "Configures receipt printers through their DIP-switch commands, as the posdip window "
           "does.\n\n"
           "Subcommands that send a frame:\n" +
           sends + "Subcommands that read:\n" + reads + "Other subcommands:\n" + others +
           R"(
Run 'posdip-cli SUBCOMMAND --help' for its options, or 'posdip-cli --version'.
Exit status: 0 when every printer took the frame, 1 when any failed, 2 on a usage error,
3 when the results could not be written, 130 or 143 after SIGINT or SIGTERM.
)";
}

std::string actionHelp(Subcommand sub, app::Action action) {
    const app::ActionEntry &entry = app::actionEntry(action);
    std::string help = "Sends " + std::string(entry.sends) + ":\n  " +
                       protocol::toHex(entry.frame(protocol::defaultChoices())) + "\n" +
                       (entry.success ? std::string("Then says: ") + entry.success
                                      : std::string("The printer prints; no message follows.")) +
                       "\n";
    if (const std::string setting = optionLines(sub, true, 27); !setting.empty())
        help += "\nSetting (each defaults to the window's opening selection, which is the byte " +
                protocol::hexByte(protocol::kDefaultSetting) + "):\n" + setting;
    return help + "\nWhere to send it (default port ETHERNET):\n" + optionLines(sub, false) + R"(
One result line per printer, in the order given: 'TARGET: ok[: MESSAGE]' or
'TARGET: failed: MESSAGE (REASON)'; a print queue without --wait says 'spooled' instead of
'ok': it took the job, which may still fail to print.
)";
}

} // namespace

std::string helpText(std::optional<Subcommand> sub) {
    if (!sub)
        return overview();
    const std::string usage = "Usage: " + usageLine(*sub) + "\n\n";
    if (const auto action = actionOf(*sub))
        return usage + actionHelp(*sub, *action);
    return usage + ownHelp(*sub).help;
}

std::string subcommandSummary(Subcommand sub) {
    if (const auto action = actionOf(sub))
        return app::actionEntry(*action).summary;
    return ownHelp(sub).summary;
}

std::string usageHint(std::optional<Subcommand> sub) {
    return std::string("Try 'posdip-cli ") + (sub ? std::string(subcommandName(*sub)) + " " : "") +
           "--help'.";
}

std::string versionText() {
    return std::string("posdip-cli ") + POSDIP_VERSION + "\n";
}

} // namespace cli
