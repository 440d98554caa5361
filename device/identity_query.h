// Asking an open port who the printer is: the "transmit printer ID" requests GS I n.
#pragma once

#include "device/PosdllFuncs.h"
#include "protocol/printer_id.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace device {

struct IdAnswer {
    protocol::IdRequest request;
    std::uint8_t byte = 0; // one-byte replies
    std::string text;      // text replies
};

struct Identity {
    // The requests the printer answered, in the order asked; one it left unanswered, or
    // answered with bytes that are no reply, is missing.
    std::vector<IdAnswer> answers;
    // Why the asking stopped early, or a reply that was refused ("" when none was).
    std::string problem;

    const IdAnswer *answer(protocol::IdRequest request) const;
    std::optional<std::string> text(protocol::IdRequest request) const;
    std::optional<std::uint8_t> byte(protocol::IdRequest request) const;
    bool hasId() const { return !answers.empty(); }
};

// Sends each of protocol::kIdRequests in turn, throwing away unread input before each, and
// waits at most waitMillis for each reply. A printer that leaves GS I 1 unanswered has no ID and
// is not asked the rest. Leaves the port open.
Identity readIdentity(PosdllFuncs &lib, int handle, int waitMillis);

} // namespace device
