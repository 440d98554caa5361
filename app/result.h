// How one exchange with a printer ended, as facts: every face (the window's message, posdip-cli's
// lines and JSON, the Ansible modules through it) reads these, and every decision reads the kind.
#pragma once

#include "device/failure.h"
#include "device/identity_query.h"
#include "device/printers.h"
#include "device/status_query.h"

#include <chrono>
#include <optional>
#include <string>

namespace app {

struct Result {
    device::FailKind kind = device::FailKind::Ok;
    device::Stage stage = device::Stage::Close; // where a failure ended it; Close when none did
    int error = 0;                              // errno behind the failure, 0 when none
    int written = 0; // bytes of the frame the port took: all of them, or 0 when the write failed
    std::chrono::milliseconds elapsed{0};
    std::string reason; // why it failed: the port, device path or queue and the system's words
    std::optional<device::StatusReading> status; // what the printer answered, when it did
    std::optional<device::QueueStatus> queue;    // a print queue's own state
    std::optional<device::Identity> identity;    // when asked and the printer answered its status
    // The printer's serial number (GS I 68), when it was asked and gave one.
    std::optional<std::string> serial;
    bool succeeded() const {
        return kind == device::FailKind::Ok || kind == device::FailKind::Spooled ||
               kind == device::FailKind::Unchanged;
    }
};

// A failure of `kind` in `stage` for `reason`, with the system's error behind it (0 when none).
Result failure(device::FailKind kind, device::Stage stage, std::string reason, int error = 0);

} // namespace app
