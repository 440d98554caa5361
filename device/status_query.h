// Asking an open port for the printer's real-time status: DLE EOT 1 to 4, one byte each.
#pragma once

#include "device/PosdllFuncs.h"
#include "device/failure.h"
#include "protocol/status_summary.h"

#include <array>
#include <cstdint>
#include <string>

namespace device {

struct StatusReading {
    bool answered = false; // all four bytes came and each is a status byte
    std::array<std::uint8_t, 4> bytes{};
    protocol::StatusSummary summary; // when answered
    FailKind kind = FailKind::Ok;    // why not, when not answered
    std::string reason;
};

// Why a port that passes nothing back gives no reading.
inline constexpr const char *kCannotReportStatus = "this port cannot report the printer's status";

// Throws away unread input, then sends each request and waits at most waitMillis for its byte.
// Bytes behind an answer, or a byte that is no status byte, make the reading fail (Internal):
// no condition is read from a byte that did not answer its request. A port that passes nothing
// back fails before anything is sent (CannotVerify). Leaves the port open.
StatusReading readStatus(PosdllFuncs &lib, int handle, int waitMillis);

} // namespace device
