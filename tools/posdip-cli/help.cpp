#include "help.h"

namespace cli {

namespace {

constexpr const char *kOverview = R"(Usage: posdip-cli SUBCOMMAND [OPTIONS]

Configures receipt printers through their DIP-switch commands, as the posdip window does.

Subcommands that send a frame:
  enable     enable the DIP switch            (then: Please Restart Printer First!)
  disable    disable the DIP switch           (then: Please Restart Printer First!)
  restore    store the default setting 0xFD   (then: Please Restart Printer.)
  store      store a setting chosen by name or as --byte   (then: Please Restart Printer.)
  selftest   make the printer print its self-test
Subcommands that read:
  status     ask each printer whether it is ready (DLE EOT 1 to 4)
  scan       find the printers of an IPv4 network (at most a /16)
Other subcommands:
  decode     explain a frame or a setting byte given in hex
  printers   list the installed print queues
  ports      list the serial and parallel devices and what COMn and LPTn open

Run 'posdip-cli SUBCOMMAND --help' for its options, or 'posdip-cli --version'.
Exit status: 0 when every printer took the frame, 1 when any failed, 2 on a usage error,
3 when the results could not be written, 130 or 143 after SIGINT or SIGTERM.
)";

constexpr const char *kTargetOptions = R"(
Where to send it (default port ETHERNET):
  --port ETHERNET|COMn|LPTn|DRIVER   the kind of port, as in the window's port list
  --ip ADDRESS[:PORT]   a network printer (TCP port 9100 unless given); may be repeated
  --baud 9600|19200|38400|115200   line speed of COM ports (default 19200)
  --printer QUEUE       the print queue, with --port DRIVER
  --targets FILE        one printer a line: 'ETHERNET 10.1.2.3', 'COM3 [BAUD]', 'LPT1',
                        'DRIVER Kitchen'; '#' starts a comment; may be repeated, '-' is stdin
  -j, --jobs N          at most N network printers connecting and writing at once (default
                        16), their ends of document overlapping beyond; serial, parallel
                        and queue printers are served one at a time
  --wait SECONDS        wait until each print queue has delivered its job to the printer;
                        one not delivered within the time fails and is cancelled
  --json                one JSON object a line instead of text
  --dry-run             print the frame in hex and what it means, open nothing
  --verify              ask for the status first; send nothing to a printer that is not
                        ready (kind not-ready, stage status)
  --connect-timeout S   seconds to reach a network printer (default 3)
  --write-timeout S     seconds a port may take no bytes, and to confirm the end (default 5)
  --status-timeout S    seconds to wait for each status byte with --verify (default 2)
  -h, --help            this text

One result line per printer, in the order given: 'TARGET: ok[: MESSAGE]' or
'TARGET: failed: MESSAGE (REASON)'; a print queue without --wait says 'spooled' instead of
'ok': it took the job, which may still fail to print.
)";

constexpr const char *kStoreOptions = R"(
Setting (each defaults to the window's opening selection, which is the byte 0xFD):
  --cutter yes|no          select cutter (default yes)
  --beeper yes|no          select beeper (default yes)
  --density dark|light     print density (default light)
  --two-byte yes|no        two-byte character code (default yes)
  --chars 42|48            characters per line (default 48)
  --paper-taken yes|no     detect that the paper was taken (default yes)
  --set-baud 9600|19200|38400|115200   the printer's serial rate after restart (default 19200)
  --byte 0xNN              the setting byte itself, instead of the names above
)";

std::string actionHelp(Subcommand sub) {
    std::string head = std::string("Usage: posdip-cli ") + subcommandName(sub) +
                       (sub == Subcommand::Store ? " [SETTING...]" : "") +
                       " [--ip ADDRESS | --port PORT | --targets FILE]... [OPTIONS]\n\n";
    switch (sub) {
    case Subcommand::Enable:
        head += "Sends the enable frame 1F 1B 1F C0 15 14 13 12 11 10 AA.\n";
        break;
    case Subcommand::Disable:
        head += "Sends the disable frame 1F 1B 1F C0 15 14 13 12 11 10 77.\n";
        break;
    case Subcommand::Restore:
        head += "Sends the write-setting frame with the default byte: "
                "1F 1B 1F A1 10 11 12 13 14 15 FD.\n";
        break;
    case Subcommand::Store:
        head += "Sends the write-setting frame 1F 1B 1F A1 10 11 12 13 14 15 nn with the\n"
                "setting byte nn composed from the choices below.\n";
        head += kStoreOptions;
        break;
    default:
        head += "Sends the self-test frame 1F 1B 1F 93 10 11 12 15 16 17 10 00; the printer\n"
                "prints its self-test and no message follows.\n";
        break;
    }
    return head + kTargetOptions;
}

} // namespace

std::string helpText(std::optional<Subcommand> sub) {
    if (!sub)
        return kOverview;
    switch (*sub) {
    case Subcommand::Status:
        return "Usage: posdip-cli status [--ip ADDRESS | --port PORT | --targets FILE]... "
               "[OPTIONS]\n\n"
               "Asks each printer for its real-time status (DLE EOT 1, 2, 3, 4; one byte each)\n"
               "and prints 'TARGET: ready', 'TARGET: not ready: cover open, paper end' or\n"
               "'TARGET: failed: REASON'. Works on network and serial ports and on USB printers\n"
               "(/dev/usb/lpN); for a print queue it reports the queue's own state instead.\n\n"
               "  --port ETHERNET|COMn|LPTn|DRIVER   the kind of port\n"
               "  --ip ADDRESS[:PORT]   a network printer (TCP port 9100 unless given)\n"
               "  --baud 9600|19200|38400|115200   line speed of COM ports (default 19200)\n"
               "  --printer QUEUE       the print queue, with --port DRIVER\n"
               "  --targets FILE        one printer a line, as for the sending subcommands\n"
               "  -j, --jobs N          at most N network printers at once (default 16)\n"
               "  --status-timeout S    seconds to wait for each status byte (default 2); it\n"
               "                        does not follow --write-timeout\n"
               "  --connect-timeout S   seconds to reach a network printer (default 3)\n"
               "  --write-timeout S     seconds a port may take no bytes (default 5)\n"
               "  --json                one JSON object a line instead of text\n"
               "  -h, --help            this text\n\n"
               "Exit status: 0 when every printer answered and is ready, 1 otherwise, 2 on a\n"
               "usage error.\n";
    case Subcommand::Scan:
        return "Usage: posdip-cli scan A.B.C.D/PREFIX [OPTIONS]\n\n"
               "Tries every host address of the network (prefix 16 to 32; the network and\n"
               "broadcast addresses are skipped below /31) and prints 'ETHERNET ADDRESS[:PORT]'\n"
               "for each that accepts and answers DLE EOT 1 to 4 with status bytes: a targets\n"
               "file for --targets. Other services on the port are not printers.\n\n"
               "  --port-number N       the TCP port to try (default 9100)\n"
               "  -j, --jobs N          at most N addresses at once (default 16)\n"
               "  --connect-timeout S   seconds for each address to accept (default 3)\n"
               "  --status-timeout S    seconds to wait for each status byte (default 2)\n"
               "  --write-timeout S     seconds a port may take no bytes (default 5)\n"
               "  --json                the status result of each printer found, one a line\n"
               "  -h, --help            this text\n\n"
               "Exit status: 0 when a printer was found, 1 when none, 2 on a usage error.\n";
    case Subcommand::Decode:
        return "Usage: posdip-cli decode [--json] HEX...\n\n"
               "Explains frames or a lone setting byte. The words are read as one run of bytes\n"
               "(\"1F 1B 1F A1 10 11 12 13 14 15 FD\", \"1f1b1fa1...\", \"0x1F,0x1B\") and cut "
               "into\n"
               "frames; a single byte is read as a setting byte. Exit status 1 when some bytes\n"
               "are no frame.\n";
    case Subcommand::Printers:
        return "Usage: posdip-cli printers [--json]\n\n"
               "Lists the installed print queues, one a line, for --port DRIVER --printer QUEUE.\n"
               "A print server without queues gives an empty list (exit status 0); a server that\n"
               "cannot be reached or does not answer is an error (exit status 1).\n";
    case Subcommand::Ports:
        return "Usage: posdip-cli ports [--json]\n\n"
               "Lists COM1-COM9, LPT1-LPT3 and every other port name that reaches a device: the\n"
               "device file it opens and whether it is present, then the serial and parallel\n"
               "devices no port name reaches. COMn opens /dev/ttyS(n-1); LPTn opens /dev/lp(n-1),\n"
               "else /dev/usb/lp(n-1); POSDLL_PORT_COMn or POSDLL_PORT_LPTn in the environment\n"
               "names another device (POSDLL_PORT_COM5=/dev/ttyUSB0).\n";
    default:
        return actionHelp(*sub);
    }
}

std::string usageHint(std::optional<Subcommand> sub) {
    return std::string("Try 'posdip-cli ") + (sub ? std::string(subcommandName(*sub)) + " " : "") +
           "--help'.";
}

std::string versionText() {
    return std::string("posdip-cli ") + POSDIP_VERSION + "\n";
}

} // namespace cli
