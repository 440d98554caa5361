#include "batch/targets.h"

#include "device/port_kind.h"
#include "posdll/port_names.h"
#include "posdll/quoted.h"
#include "protocol/setting_byte.h"

namespace batch {

namespace {

using posdll::quoted;

constexpr std::string_view kBlank = " \t\r";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

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

// The port word in capitals, as the rest of the program spells it ("com3" is COM3).
std::string upper(std::string_view word) {
    std::string out(word);
    for (char &c : out)
        c = (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
    return out;
}

// A line that starts with an address (a digit, '[' or ':') names a network printer.
bool bareAddress(std::string_view word) {
    return !word.empty() &&
           ((word[0] >= '0' && word[0] <= '9') || word[0] == '[' || word[0] == ':');
}

// The error for one line, or "" with the target filled.
std::string parseLine(std::string_view line, const std::string &defaultBaud, Target &out) {
    std::string_view rest = line;
    const std::string given(bareAddress(line) ? "ETHERNET" : firstWord(line, rest));
    const std::string word = upper(given);
    if (!checkPortWord(word).empty())
        return checkPortWord(given); // said as written
    const std::string arg(rest);
    switch (device::portKindOf(word)) {
    case device::PortKind::Ethernet: {
        if (arg.empty())
            return "ETHERNET needs the printer's address, e.g. 'ETHERNET 10.1.2.3'";
        std::string why;
        if (arg.find_first_of(kBlank) != std::string::npos)
            return quoted(arg) + ": one address a line";
        if (!posdll::parseNetworkAddress(arg, &why))
            return why;
        out = networkTarget(arg);
        return {};
    }
    case device::PortKind::Serial:
        if (!arg.empty() && protocol::knownBaud(arg) == 0)
            return notABaudRate(arg);
        out = portTarget(word, arg.empty() ? defaultBaud : arg, {});
        return {};
    case device::PortKind::Parallel:
        if (!arg.empty())
            return word + " takes nothing after it, found " + quoted(arg);
        out = portTarget(word, {}, {});
        return {};
    case device::PortKind::Driver:
        if (arg.empty())
            return "DRIVER needs the print queue's name, e.g. 'DRIVER Kitchen'";
        if (const auto problem = posdll::queueNameProblem(arg))
            return quoted(arg) + ": " + *problem;
        out = portTarget(word, {}, arg);
        return {};
    case device::PortKind::Unknown:
        break;
    }
    return quoted(word) + " is not a port"; // not reached: checkPortWord refused it
}

} // namespace

bool Target::network() const {
    return device::portKindOf(port.portName) == device::PortKind::Ethernet;
}

bool Target::mustFinish() const {
    return device::portKindOf(port.portName) == device::PortKind::Driver;
}

std::string notABaudRate(const std::string &text) {
    return quoted(text) + " is not one of " + protocol::baudRateChoices(", ");
}

std::string checkPortWord(const std::string &word) {
    if (word == "ETHERNET" || word == "DRIVER" || posdll::portNumber(word, "COM") ||
        posdll::portNumber(word, "LPT"))
        return {};
    return quoted(word) + " is not ETHERNET, COMn, LPTn (n from 1 to 255) or DRIVER";
}

Target networkTarget(const std::string &address) {
    return Target{{"ETHERNET", address, {}, {}}, "ETHERNET " + address, {}};
}

Target portTarget(const std::string &port, const std::string &baud, const std::string &printer) {
    const bool driver = port == "DRIVER";
    return Target{{port, {}, baud, printer}, driver ? "DRIVER " + printer : port, {}};
}

TargetFile readTargetFile(std::istream &in, const std::string &fileName,
                          const std::string &defaultBaud) {
    TargetFile file;
    auto refuse = [&](std::size_t lineNo, const std::string &why) {
        file.errors.push_back(fileName + ":" + std::to_string(lineNo) + ": " + why);
        return file;
    };
    std::string buf(kMaxTargetLineBytes + 1, '\0');
    std::size_t total = 0;
    for (std::size_t lineNo = 1;
         in.getline(buf.data(), std::streamsize(buf.size())) || in.gcount() > 0; ++lineNo) {
        const auto read = static_cast<std::size_t>(in.gcount());
        if (in.fail() && !in.eof()) // the buffer filled before the end of the line
            return refuse(lineNo, "a line longer than " + std::to_string(kMaxTargetLineBytes) +
                                      " bytes; is this a list of printers?");
        if ((total += read) > kMaxTargetFileBytes)
            return refuse(lineNo, "more than " + std::to_string(kMaxTargetFileBytes >> 20) +
                                      " MiB of printers; split the list");
        std::string_view line(buf.data(), read - (in.eof() ? 0 : 1)); // without the newline
        if (lineNo == 1 && line.starts_with(kByteOrderMark))
            line.remove_prefix(kByteOrderMark.size());
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

} // namespace batch
