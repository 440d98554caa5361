#include "targets.h"

#include "cli_args.h"

#include "device/port_kind.h"
#include "posdll/port_names.h"

namespace cli {

namespace {

constexpr std::string_view kBlank = " \t\r";

std::string_view trim(std::string_view s) {
    const auto b = s.find_first_not_of(kBlank);
    if (b == std::string_view::npos)
        return {};
    return s.substr(b, s.find_last_not_of(kBlank) - b + 1);
}

// Splits off the first word; the rest comes back trimmed.
std::string_view firstWord(std::string_view line, std::string_view &rest) {
    const auto end = line.find_first_of(kBlank);
    rest = end == std::string_view::npos ? std::string_view() : trim(line.substr(end));
    return line.substr(0, end);
}

// The error for one line, or "" with the target filled.
std::string parseLine(std::string_view line, const std::string &defaultBaud, Target &out) {
    std::string_view rest;
    const std::string word(firstWord(line, rest));
    if (const std::string why = checkPortWord(word); !why.empty())
        return why;
    const std::string arg(rest);
    switch (device::portKindOf(word)) {
    case device::PortKind::Ethernet: {
        if (arg.empty())
            return "ETHERNET needs the printer's address, e.g. 'ETHERNET 10.1.2.3'";
        std::string why;
        if (arg.find_first_of(kBlank) != std::string::npos)
            return "'" + arg + "': one address a line";
        if (!posdll::parseNetworkAddress(arg, &why))
            return why;
        out = networkTarget(arg);
        return {};
    }
    case device::PortKind::Serial:
        if (!arg.empty() && !isKnownBaud(arg))
            return "'" + arg + "' is not one of 9600, 19200, 38400, 115200";
        out = portTarget(word, arg.empty() ? defaultBaud : arg, {});
        return {};
    case device::PortKind::Parallel:
        if (!arg.empty())
            return word + " takes nothing after it, found '" + arg + "'";
        out = portTarget(word, {}, {});
        return {};
    case device::PortKind::Driver:
        if (arg.empty())
            return "DRIVER needs the print queue's name, e.g. 'DRIVER Kitchen'";
        out = portTarget(word, {}, arg);
        return {};
    case device::PortKind::Unknown:
        break;
    }
    return "'" + word + "' is not a port"; // not reached: checkPortWord refused it
}

} // namespace

bool Target::network() const {
    return device::portKindOf(port.portName) == device::PortKind::Ethernet;
}

std::string checkPortWord(const std::string &word) {
    if (word == "ETHERNET" || word == "DRIVER" || posdll::portNumber(word, "COM") ||
        posdll::portNumber(word, "LPT"))
        return {};
    return "'" + word + "' is not ETHERNET, COMn, LPTn (n from 1 to 255) or DRIVER";
}

Target networkTarget(const std::string &address) {
    return Target{{"ETHERNET", address, {}, {}}, "ETHERNET " + address};
}

Target portTarget(const std::string &port, const std::string &baud, const std::string &printer) {
    const bool driver = port == "DRIVER";
    return Target{{port, {}, baud, printer}, driver ? "DRIVER " + printer : port};
}

TargetFile parseTargetFile(std::string_view text, const std::string &fileName,
                           const std::string &defaultBaud) {
    TargetFile file;
    std::size_t lineNo = 0;
    while (!text.empty()) {
        ++lineNo;
        const auto nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
        line = trim(line.substr(0, line.find('#')));
        if (line.empty())
            continue;
        Target t;
        if (std::string why = parseLine(line, defaultBaud, t); !why.empty())
            file.errors.push_back(fileName + ":" + std::to_string(lineNo) + ": " + why);
        else
            file.targets.push_back(std::move(t));
    }
    return file;
}

} // namespace cli
