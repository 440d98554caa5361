// What the four status bytes (answers to DLE EOT 1, 2, 3, 4) say together. Pure.
#pragma once

#include "protocol/status.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace protocol {

struct StatusSummary {
    bool ready = false;
    bool offline = false;
    bool coverOpen = false;
    bool error = false; // any error bit
    PaperLevel paper = PaperLevel::Ok;
    // What stops or concerns printing, without the flags another one explains (an open cover
    // takes the printer off-line; a roll at its end has passed its near end).
    std::vector<StatusFlag> conditions;
};

// The summary of four valid status bytes, in the order of kStatusRequests.
StatusSummary summarizeStatus(const std::array<std::uint8_t, 4> &bytes);

// "ready", "not ready: cover open, paper end": the conditions, not every flag.
std::string describeSummary(const StatusSummary &summary);

// "ok", "near-end", "out"
const char *paperLevelName(PaperLevel level);

} // namespace protocol
