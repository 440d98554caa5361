// The state file behind --state: read at start, replaced whole after every change.
#pragma once

#include "printer_state.h"

#include <optional>
#include <string>

namespace emulator {

// A missing file gives the defaults. A file that cannot be read or is malformed gives nothing,
// with the file and the reason in *why.
std::optional<PrinterState> loadState(const std::string &path, std::string *why);

// Writes a temporary file beside it and renames that over it, so a reader or a crash never sees
// half a file. false with the file and the reason in *why.
bool saveState(const std::string &path, const PrinterState &state, std::string *why);

} // namespace emulator
