#include "device/status_query.h"

#include "device/port_access.h"
#include "protocol/frame_decode.h"
#include "protocol/printer_id.h"

#include <chrono>

namespace device {

namespace {

StatusReading failed(FailKind kind, std::string reason) {
    StatusReading r;
    r.kind = kind;
    r.reason = std::move(reason);
    return r;
}

// Reads the byte that answers a request within waitMillis, passing over what a printer with
// automatic status on sends unasked (status blocks, XON, XOFF): 1, 0 when none came, or -1.
int readAnswer(PosdllFuncs &lib, int handle, int waitMillis, std::uint8_t &answer) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(waitMillis);
    std::size_t blockLeft = 0;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        const int got =
            lib.POS_ReadFile(handle, &answer, 1, static_cast<int>(std::max<long>(left.count(), 0)));
        if (got <= 0)
            return got;
        if (blockLeft > 0)
            --blockLeft;
        else if (protocol::startsAutomaticStatus(answer))
            blockLeft = protocol::kAutomaticStatusSize - 1;
        else if (answer != protocol::kXon && answer != protocol::kXoff)
            return 1;
    }
}

} // namespace

StatusReading readStatus(PosdllFuncs &lib, int handle, int waitMillis) {
    StatusReading r;
    for (std::size_t i = 0; i < protocol::kStatusRequests.size(); ++i) {
        const protocol::StatusRequest request = protocol::kStatusRequests[i];
        const std::string asked = "DLE EOT " + std::to_string(static_cast<unsigned>(request)) +
                                  " (" + protocol::statusRequestName(request) + ")";
        const auto bytes = protocol::statusRequestBytes(request);
        const int sent = lib.POS_WriteFile(handle, bytes.data(), static_cast<int>(bytes.size()));
        if (sent != static_cast<int>(bytes.size()))
            return failed(lastFailKind(lib),
                          "sending " + asked + " failed: " + lib.POS_LastError());
        const int got = readAnswer(lib, handle, waitMillis, r.bytes[i]);
        if (got < 0)
            return failed(lastFailKind(lib), "no answer to " + asked + ": " + lib.POS_LastError());
        if (got == 0)
            return failed(FailKind::Timeout, "no answer to " + asked + " within " +
                                                 std::to_string(waitMillis) + " ms");
        if (!protocol::decodeStatus(request, r.bytes[i]).valid)
            return failed(FailKind::Internal, "the answer " + protocol::toHex(&r.bytes[i], 1) +
                                                  " to " + asked +
                                                  " is not a status byte; is this a printer?");
    }
    r.answered = true;
    r.summary = protocol::summarizeStatus(r.bytes);
    return r;
}

} // namespace device
