#include "device/status_query.h"

#include "device/port_access.h"
#include "protocol/frame_decode.h"

#include <algorithm>

namespace device {

namespace {

// The most bytes of one answer that are read and named.
constexpr int kShownBytes = 16;

StatusReading failed(FailKind kind, std::string reason) {
    StatusReading r;
    r.kind = kind;
    r.reason = std::move(reason);
    return r;
}

} // namespace

StatusReading readStatus(PosdllFuncs &lib, int handle, int waitMillis) {
    StatusReading r;
    // Whatever came before the first request answers none of the four.
    if (lib.POS_DiscardInput(handle) != 0) {
        const FailKind kind = lastFailKind(lib);
        return failed(kind, (kind == FailKind::CannotVerify
                                 ? std::string(kCannotReportStatus) + ": "
                                 : std::string("cannot throw away earlier input: ")) +
                                lib.POS_LastError());
    }
    for (std::size_t i = 0; i < protocol::kStatusRequests.size(); ++i) {
        const protocol::StatusRequest request = protocol::kStatusRequests[i];
        const std::string asked = "DLE EOT " + std::to_string(static_cast<unsigned>(request)) +
                                  " (" + protocol::statusRequestName(request) + ")";
        const auto bytes = protocol::statusRequestBytes(request);
        const int sent = lib.POS_WriteFile(handle, bytes.data(), static_cast<int>(bytes.size()));
        if (sent != static_cast<int>(bytes.size()))
            return failed(lastFailKind(lib),
                          "sending " + asked + " failed: " + lib.POS_LastError());
        // Room for more than the one byte, so that bytes behind the answer are seen.
        std::array<std::uint8_t, kShownBytes> answer{};
        int got = lib.POS_ReadFile(handle, answer.data(), kShownBytes, waitMillis);
        if (got < 0)
            return failed(lastFailKind(lib), "no answer to " + asked + ": " + lib.POS_LastError());
        if (got == 0)
            return failed(FailKind::Timeout, "no answer to " + asked + " within " +
                                                 std::to_string(waitMillis) + " ms");
        if (got == 1) // what already came behind it; a closed connection shows at the next request
            got += std::max(0, lib.POS_ReadFile(handle, &answer[1], kShownBytes - 1, 0));
        if (got > 1 || !protocol::decodeStatus(request, answer[0]).valid)
            return failed(FailKind::Internal,
                          "the answer " + protocol::toHex(answer.data(), std::size_t(got)) +
                              " to " + asked + " is not a status answer" +
                              (got > 1 ? " (one byte was expected)" : "") + "; is this a printer?");
        r.bytes[i] = answer[0];
    }
    r.answered = true;
    r.summary = protocol::summarizeStatus(r.bytes);
    return r;
}

} // namespace device
