// What the emulated printer keeps between restarts, and its text form in a state file. Pure.
#pragma once

#include "protocol/frames.h"

#include <cstdint>
#include <optional>
#include <string>

namespace emulator {

struct PrinterState {
    bool dipSwitchesEnabled = true;
    std::uint8_t setting = protocol::kDefaultSetting;
    bool operator==(const PrinterState &) const = default;
};

// "dip-switches enabled\nsetting 0xFD\n" with a comment line above.
std::string formatState(const PrinterState &state);

// Both keys once each, in any order; blank lines and '#' comments allowed. Empty on anything
// else, with the line and what is wrong in *why.
std::optional<PrinterState> parseState(const std::string &text, std::string *why);

} // namespace emulator
