// The stand-in printer's main loop: takes connections and terminal input, prints each frame.
#pragma once

#include "options.h"

namespace emulator {

// Runs until --count frames were printed or SIGINT/SIGTERM arrives (0), or a failure to set
// up or read (1, with the reason on standard error).
int run(const Options &options);

} // namespace emulator
