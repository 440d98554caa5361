// The printers one run reaches: from --ip, --port, or a targets file. No I/O but the stream read.
#pragma once

#include "device/port_access.h"

#include <cstddef>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

namespace batch {

struct Target {
    device::PortInputs port; // what OpenPort reads, as the window would fill it
    std::string label;       // "ETHERNET 10.1.2.3", "COM3", "LPT1", "DRIVER Kitchen"
    std::string device;      // the device file a COM or LPT port opens, when known
    bool network() const;
    // A document that a stop must not cut off: a print queue would keep an unfinished job.
    bool mustFinish() const;
};

// "'1200' is not one of 9600, 19200, 38400, 115200"
std::string notABaudRate(const std::string &text);

// "" when the word is ETHERNET, COMn, LPTn (n from 1 to 255) or DRIVER; else why it is not.
std::string checkPortWord(const std::string &word);

Target networkTarget(const std::string &address);
// port is COMn, LPTn or DRIVER (baud for COMn, printer for DRIVER).
Target portTarget(const std::string &port, const std::string &baud, const std::string &printer);

// Limits that keep an endless input (/dev/zero, a pipe that never ends) from eating memory.
inline constexpr std::size_t kMaxTargetLineBytes = 4096;
inline constexpr std::size_t kMaxTargetFileBytes = 16 << 20;

struct TargetFile {
    std::vector<Target> targets;
    std::vector<std::string> errors; // "shop.txt:4: ..." for each bad line
};

// One target a line: "ETHERNET ADDRESS[:PORT]", "COMn [BAUD]", "LPTn", "DRIVER QUEUE"; a bare
// address ("10.1.2.3", "10.1.2.3:9101", "[::1]") is ETHERNET; port words in any case ("com3").
// '#' starts a comment; blank lines are skipped; a UTF-8 byte order mark at the start is
// skipped. COM lines without a rate use defaultBaud. Reading stops at the first line longer than
// kMaxTargetLineBytes or once the file passes kMaxTargetFileBytes, with that as the last error.
TargetFile readTargetFile(std::istream &in, const std::string &fileName,
                          const std::string &defaultBaud);

} // namespace batch
