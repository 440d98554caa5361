// The command line of posdip-emulator. Pure: no I/O.
#pragma once

#include "posdll/port_names.h"

#include <optional>
#include <string>
#include <vector>

namespace emulator {

struct Options {
    std::optional<posdll::NetworkAddress> listen; // TCP; port 0 asks for a free one
    std::optional<std::string> ptyLink;           // where the link to the terminal goes
    bool hex = false;
    std::optional<long> count; // frames to take before exiting
    bool help = false;
};

// Without --listen or --pty the emulator listens on 127.0.0.1:9100. Error text in *why.
std::optional<Options> parseOptions(const std::vector<std::string> &args, std::string *why);

extern const char *const kUsage;

} // namespace emulator
