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
// The run could not finish: standard output could not be written, memory ran out, the
// program could not start a thread of its own, or the ledger could not be read or written.
inline constexpr int kExitIncomplete = 3;

struct Io {
    std::ostream &out;
    std::ostream &err;
    std::istream &in;           // for --targets -
    bool progress = false;      // stderr is a terminal that takes escapes (TERM is not dumb)
    bool outIsTerminal = false; // control characters in shown text are escaped
    bool watchSignals = false;  // SIGINT and SIGTERM stop a batch in order
    bool errIsTerminal = false; // -q ends a batch with one line of counts
};

// Says on io.err that standard output failed (errno `err`, 0 when unknown) and returns
// kExitIncomplete.
int outputFailed(const Io &io, int err);

// Runs posdip-cli with the words after the program name; returns the exit status.
int runCli(const std::vector<std::string> &args, const Io &io, device::PosdllFuncs &lib);

} // namespace cli
