// What the four status bytes (answers to DLE EOT 1, 2, 3, 4) say together. Pure.
#pragma once

#include "protocol/status.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace protocol {

// The requests a full status reading sends, in order.
inline constexpr std::array<StatusRequest, 4> kStatusRequests = {
    StatusRequest::Printer, StatusRequest::OfflineCause, StatusRequest::ErrorCause,
    StatusRequest::RollPaper};

// The bytes of one request: DLE EOT n.
std::array<std::uint8_t, 3> statusRequestBytes(StatusRequest request);

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

// "ok", "near-end", "out"
const char *paperLevelName(PaperLevel level);

} // namespace protocol
