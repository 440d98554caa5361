// posdip-cli from parsed words to exit status: reads target files, runs the subcommand, prints.
#pragma once

#include "device/PosdllFuncs.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

struct Io {
    std::ostream &out;
    std::ostream &err;
    std::istream &in;      // for --targets -
    bool progress = false; // stderr is a terminal
};

// Runs posdip-cli with the words after the program name; returns the exit status.
int runCli(const std::vector<std::string> &args, const Io &io, device::PosdllFuncs &lib);

} // namespace cli
