// A bound in milliseconds that a setting (an environment variable) may change. Pure.
#pragma once

#include <chrono>

namespace posdll {

// `text` as a whole number of milliseconds from `least` to 600000; `fallback` when it is
// absent (null), empty or anything else.
std::chrono::milliseconds millisSetting(const char *text, long least,
                                        std::chrono::milliseconds fallback);

} // namespace posdll
