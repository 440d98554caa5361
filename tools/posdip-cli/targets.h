// The printers one run reaches: from --ip, --port, or a targets file. Pure.
#pragma once

#include "device/port_access.h"

#include <string>
#include <string_view>
#include <vector>

namespace cli {

struct Target {
    device::PortInputs port; // what OpenPort reads, as the window would fill it
    std::string label;       // "ETHERNET 10.1.2.3", "COM3", "LPT1", "DRIVER Kitchen"
    bool network() const;
};

// "" when the word is ETHERNET, COMn, LPTn (n from 1 to 255) or DRIVER; else why it is not.
std::string checkPortWord(const std::string &word);

Target networkTarget(const std::string &address);
// port is COMn, LPTn or DRIVER (baud for COMn, printer for DRIVER).
Target portTarget(const std::string &port, const std::string &baud, const std::string &printer);

struct TargetFile {
    std::vector<Target> targets;
    std::vector<std::string> errors; // "shop.txt:4: ..." for each bad line
};

// One target a line: "ETHERNET ADDRESS[:PORT]", "COMn [BAUD]", "LPTn", "DRIVER QUEUE".
// '#' starts a comment; blank lines are skipped. COM lines without a rate use defaultBaud.
TargetFile parseTargetFile(std::string_view text, const std::string &fileName,
                           const std::string &defaultBaud);

} // namespace cli
