// How a printed page stands apart in the emulator's output. No dependencies, so test helpers
// that read the output can include it from anywhere.
#pragma once

namespace emulator {

// Lines of a printed page start with this; lines about frames never do.
inline constexpr const char *kPageMargin = "| ";

} // namespace emulator
