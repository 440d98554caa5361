#include "device/status_query.h"

#include "device/port_access.h"
#include "posdll/fd.h"
#include "protocol/frame_decode.h"
#include "protocol/printer_id.h"

#include <algorithm>
#include <chrono>
#include <optional>

namespace device {

std::array<std::uint8_t, 3> StatusExchange::request() const {
    return protocol::statusRequestBytes(protocol::kStatusRequests[m_next]);
}

std::string StatusExchange::asked() const {
    const protocol::StatusRequest request = protocol::kStatusRequests[m_next];
    return "DLE EOT " + std::to_string(static_cast<unsigned>(request)) + " (" +
           protocol::statusRequestName(request) + ")";
}

void StatusExchange::fail(FailKind kind, std::string reason, int error) {
    m_reading.kind = kind;
    m_reading.error = error;
    m_reading.reason = std::move(reason);
    m_over = true;
}

bool StatusExchange::answer(const std::uint8_t *bytes, std::size_t count) {
    std::optional<std::uint8_t> reply;
    bool behind = false;
    for (std::size_t i = 0; i < count; ++i) {
        if (m_blockLeft > 0)
            --m_blockLeft;
        else if (protocol::startsAutomaticStatus(bytes[i]))
            m_blockLeft = protocol::kAutomaticStatusSize - 1;
        else if (bytes[i] == protocol::kXon || bytes[i] == protocol::kXoff)
            continue;
        else if (reply)
            behind = true;
        else
            reply = bytes[i];
    }
    if (!reply)
        return false;
    if (behind || !protocol::decodeStatus(protocol::kStatusRequests[m_next], *reply).valid) {
        fail(FailKind::Internal, "the answer " + protocol::toHex(bytes, count) + " to " + asked() +
                                     " is not a status answer" +
                                     (behind ? " (one byte was expected)" : "") +
                                     "; is this a printer?");
        return true;
    }
    m_reading.bytes[m_next] = *reply;
    if (++m_next < protocol::kStatusRequests.size())
        return true;
    m_reading.answered = true;
    m_reading.summary = protocol::summarizeStatus(m_reading.bytes);
    m_over = true;
    return true;
}

void StatusExchange::sendFailed(FailKind kind, const std::string &why, int error) {
    fail(kind, "sending " + asked() + " failed: " + why, error);
}

void StatusExchange::readFailed(FailKind kind, const std::string &why, int error) {
    fail(kind, "no answer to " + asked() + ": " + why, error);
}

void StatusExchange::noAnswerWithin(int waitMillis) {
    fail(FailKind::Timeout,
         "no answer to " + asked() + " within " + std::to_string(waitMillis) + " ms");
}

StatusReading readStatus(PosdllFuncs &lib, int handle, int waitMillis) {
    // Whatever came before the first request answers none of the four.
    if (lib.POS_DiscardInput(handle) != 0) {
        StatusReading r;
        r.kind = lastFailKind(lib);
        r.error = lib.POS_LastErrno();
        r.reason =
            (r.kind == FailKind::CannotVerify ? std::string(kCannotReportStatus) + ": "
                                              : std::string("cannot throw away earlier input: ")) +
            lib.POS_LastError();
        return r;
    }
    StatusExchange x;
    while (!x.over()) {
        const auto bytes = x.request();
        const int sent = lib.POS_WriteFile(handle, bytes.data(), static_cast<int>(bytes.size()));
        if (sent != static_cast<int>(bytes.size())) {
            x.sendFailed(lastFailKind(lib), lib.POS_LastError(), lib.POS_LastErrno());
            break;
        }
        // The answer's wait is its own, however many unasked bytes come before it.
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMillis);
        for (bool answered = false; !answered;) {
            // Room for more than the one byte, so that bytes behind the answer are seen.
            std::array<std::uint8_t, kMostAnswerBytes> answer{};
            int got = lib.POS_ReadFile(handle, answer.data(), kMostAnswerBytes,
                                       posdll::millisecondsLeft(deadline));
            if (got < 0) {
                x.readFailed(lastFailKind(lib), lib.POS_LastError(), lib.POS_LastErrno());
                break;
            }
            if (got == 0) {
                x.noAnswerWithin(waitMillis);
                break;
            }
            if (got == 1) // what already came behind it; a closed connection shows next request
                got += std::max(0, lib.POS_ReadFile(handle, &answer[1], kMostAnswerBytes - 1, 0));
            answered = x.answer(answer.data(), static_cast<std::size_t>(got));
        }
    }
    return x.reading();
}

} // namespace device
