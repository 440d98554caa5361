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

// Sends each request and waits at most waitMillis for its byte. Leaves the port open.
StatusReading readStatus(PosdllFuncs &lib, int handle, int waitMillis);

} // namespace device
