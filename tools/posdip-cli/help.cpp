#include "help.h"

#include "batch/cidr.h"

#include "posdll/port_names.h"
#include "posdll/posdll.h"
#include "protocol/frame_decode.h"
#include "protocol/setting_byte.h"

#include <algorithm>
#include <string_view>

namespace cli {

namespace {

// "(default 3)" for a bound of 3000 ms.
std::string defaultSeconds(int millis) {
    return "(default " + std::to_string(millis / 1000) + ")";
}

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

// "  --flag ARG            text\n": the text starts in column 25, or three blanks after a
// longer flag.
std::string option(std::string_view flag, const std::string &text) {
    std::string line = "  " + std::string(flag);
    line.resize(std::max<std::size_t>(line.size() + 3, 24), ' ');
    return line + text + "\n";
}

// The option lines that the sending subcommands and status share; `more` ends a line where
// their wording differs.
std::string portOption(const char *more) {
    return option("--port ETHERNET|COMn|LPTn|DRIVER", std::string("the kind of port") + more);
}

std::string ipOption(const char *more) {
    return option("--ip ADDRESS[:PORT]", "a network printer (TCP port " +
                                             std::to_string(posdll::kPrinterPort) +
                                             " unless given)" + more);
}

std::string baudOption() {
    return option("--baud " + protocol::baudRateChoices("|"),
                  "line speed of COM ports (default " + std::to_string(protocol::defaultBaud()) +
                      ")");
}

std::string printerOption() {
    return option("--printer QUEUE", "the print queue, with --port DRIVER");
}

std::string jsonOption() {
    return option("--json", "one JSON object a line instead of text");
}

std::string helpOption() {
    return option("-h, --help", "this text");
}

// The three bounds of an exchange, each with its default.
std::string connectTimeoutOption(const char *what) {
    return option("--connect-timeout S", std::string("seconds ") + what + " " +
                                             defaultSeconds(POS_DEFAULT_CONNECT_MILLIS));
}

std::string writeTimeoutOption(const char *more) {
    return option("--write-timeout S", std::string("seconds a port may take no bytes") + more +
                                           " " + defaultSeconds(POS_DEFAULT_WRITE_MILLIS));
}

std::string statusTimeoutOption(const char *when, const char *after) {
    return option("--status-timeout S", std::string("seconds to wait for each status byte") + when +
                                            " " + defaultSeconds(kDefaultStatusMillis) + after);
}

std::string jobsOption(const char *what) {
    return option("-j, --jobs N", std::string("at most N ") + what + " at once (default " +
                                      std::to_string(kDefaultJobs) + ")");
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
        return {"ask each printer whether it is ready (DLE EOT 1 to 4)",
                "Usage: posdip-cli status [--ip ADDRESS | --port PORT | --targets FILE]... "
                "[OPTIONS]\n\n"
                "Asks each printer for its real-time status (DLE EOT 1, 2, 3, 4; one byte each)\n"
                "and prints 'TARGET: ready', 'TARGET: not ready: cover open, paper end' or\n"
                "'TARGET: failed: REASON'. Works on network and serial ports and on USB printers\n"
                "(/dev/usb/lpN); for a print queue it reports the queue's own state instead.\n\n" +
                    portOption("") + ipOption("") + baudOption() + printerOption() +
                    option("--targets FILE", "one printer a line, as for the sending subcommands") +
                    jobsOption("network printers") +
                    statusTimeoutOption("",
                                        "; it\n"
                                        "                        does not follow --write-timeout") +
                    connectTimeoutOption("to reach a network printer") + writeTimeoutOption("") +
                    jsonOption() + helpOption() +
                    "\n"
                    "Exit status: 0 when every printer answered and is ready, 1 otherwise, 2 on a\n"
                    "usage error.\n",
                true};
    case Subcommand::Scan:
        return {
            "find the printers of an IPv4 network (at most a /" +
                std::to_string(batch::kWidestScanPrefix) + ")",
            "Usage: posdip-cli scan A.B.C.D/PREFIX [OPTIONS]\n\n"
            "Tries every host address of the network (prefix " +
                std::to_string(batch::kWidestScanPrefix) +
                " to 32; the network and\n"
                "broadcast addresses are skipped below /31) and prints 'ETHERNET ADDRESS[:PORT]'\n"
                "for each that accepts and answers DLE EOT 1 to 4 with status bytes: a targets\n"
                "file for --targets. Other services on the port are not printers.\n\n" +
                option("--port-number N", "the TCP port to try (default " +
                                              std::to_string(posdll::kPrinterPort) + ")") +
                jobsOption("addresses") + connectTimeoutOption("for each address to accept") +
                statusTimeoutOption("", "") + writeTimeoutOption("") +
                option("--json", "the status result of each printer found, one a line") +
                helpOption() +
                "\n"
                "Exit status: 0 when a printer was found, 1 when none, 2 on a usage error.\n",
            true};
    case Subcommand::Decode:
        return {"explain a frame or a setting byte given in hex",
                "Usage: posdip-cli decode [--json] HEX...\n\n"
                "Explains frames or a lone setting byte. The words are read as one run of bytes\n"
                "(\"1F 1B 1F A1 10 11 12 13 14 15 FD\", \"1f1b1fa1...\", \"0x1F,0x1B\") and cut "
                "into\n"
                "frames; a single byte is read as a setting byte. Exit status 1 when some bytes\n"
                "are no frame.\n"};
    case Subcommand::Printers:
        return {"list the installed print queues",
                "Usage: posdip-cli printers [--json]\n\n"
                "Lists the installed print queues, one a line, for --port DRIVER --printer "
                "QUEUE.\n"
                "A print server without queues gives an empty list (exit status 0); a server "
                "that\n"
                "cannot be reached or does not answer is an error (exit status 1).\n"};
    case Subcommand::Ports:
        return {"list the serial and parallel devices and what COMn and LPTn open",
                "Usage: posdip-cli ports [--json]\n\n"
                "Lists COM1-COM9, LPT1-LPT3 and every other port name that reaches a device: the\n"
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

std::string targetOptions() {
    return "\nWhere to send it (default port ETHERNET):\n" +
           portOption(", as in the window's port list") + ipOption("; may be repeated") +
           baudOption() + printerOption() +
           R"(  --targets FILE        one printer a line: 'ETHERNET 10.1.2.3', 'COM3 [BAUD]', 'LPT1',
                        'DRIVER Kitchen'; '#' starts a comment; may be repeated, '-' is stdin
  -j, --jobs N          at most N network printers connecting and writing at once (default
                        )" +
           std::to_string(kDefaultJobs) +
           R"(), their ends of document overlapping beyond; serial, parallel
                        and queue printers are served one at a time
  --wait SECONDS        wait until each print queue has delivered its job to the printer;
                        one not delivered within the time fails and is cancelled
)" + jsonOption() +
           R"(  --dry-run             print the frame in hex and what it means, open nothing
  --verify              ask for the status first; send nothing to a printer that is not
                        ready (kind not-ready, stage status)
)" + connectTimeoutOption("to reach a network printer") +
           writeTimeoutOption(", and to confirm the end") +
           statusTimeoutOption(" with --verify", "") + helpOption() + R"(
One result line per printer, in the order given: 'TARGET: ok[: MESSAGE]' or
'TARGET: failed: MESSAGE (REASON)'; a print queue without --wait says 'spooled' instead of
'ok': it took the job, which may still fail to print.
)";
}

std::string storeOptions() {
    const protocol::SettingChoices d = protocol::explainSettingByte(protocol::kDefaultSetting);
    auto yesNo = [](bool b) { return b ? "yes" : "no"; };
    return std::string("\nSetting (each defaults to the window's opening selection, which is the "
                       "byte ") +
           protocol::hexByte(protocol::kDefaultSetting) + "):\n" +
           "  --cutter yes|no          select cutter (default " + yesNo(d.cutter) + ")\n" +
           "  --beeper yes|no          select beeper (default " + yesNo(d.beeper) + ")\n" +
           "  --density " + protocol::densityName(protocol::Density::Dark) + "|" +
           protocol::densityName(protocol::Density::Light) + "     print density (default " +
           protocol::densityName(d.density) + ")\n" +
           "  --two-byte yes|no        two-byte character code (default " + yesNo(d.twoByteCode) +
           ")\n" + "  --chars 42|48            characters per line (default " +
           std::to_string(d.charsPerLine) + ")\n" +
           "  --paper-taken yes|no     detect that the paper was taken (default " +
           yesNo(d.paperTakenDetect) + ")\n" + "  --set-baud " + protocol::baudRateChoices("|") +
           "   the printer's serial rate after restart (default " + std::to_string(d.baud) + ")\n" +
           "  --byte 0xNN              the setting byte itself, instead of the names above\n";
}

std::string actionHelp(Subcommand sub, app::Action action) {
    const app::ActionEntry &entry = app::actionEntry(action);
    std::string help = std::string("Usage: posdip-cli ") + entry.subcommand +
                       (sub == Subcommand::Store ? " [SETTING...]" : "") +
                       " [--ip ADDRESS | --port PORT | --targets FILE]... [OPTIONS]\n\n" +
                       "Sends " + entry.sends + ":\n  " +
                       protocol::toHex(entry.frame(protocol::defaultOptionStates())) + "\n" +
                       (entry.success ? std::string("Then says: ") + entry.success
                                      : std::string("The printer prints; no message follows.")) +
                       "\n";
    if (sub == Subcommand::Store)
        help += storeOptions();
    return help + targetOptions();
}

} // namespace

std::string helpText(std::optional<Subcommand> sub) {
    if (!sub)
        return overview();
    if (const auto action = actionOf(*sub))
        return actionHelp(*sub, *action);
    return ownHelp(*sub).help;
}

std::string usageHint(std::optional<Subcommand> sub) {
    return std::string("Try 'posdip-cli ") + (sub ? std::string(subcommandName(*sub)) + " " : "") +
           "--help'.";
}

std::string versionText() {
    return std::string("posdip-cli ") + POSDIP_VERSION + "\n";
}

} // namespace cli
