#include "device/status_query.h"

#include "device/port_access.h"
#include "protocol/frame_decode.h"

namespace device {

namespace {

StatusReading failed(FailKind kind, std::string reason) {
    StatusReading r;
    r.kind = kind;
    r.reason = std::move(reason);
    return r;
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
        const int got = lib.POS_ReadFile(handle, &r.bytes[i], 1, waitMillis);
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
