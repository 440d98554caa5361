#include "device/status_query.h"

#include "device/port_access.h"
#include "protocol/frame_decode.h"

namespace device {

std::array<std::uint8_t, 3> StatusExchange::request() const {
    return protocol::statusRequestBytes(protocol::kStatusRequests[m_next]);
}

std::string StatusExchange::asked() const {
    const protocol::StatusRequest request = protocol::kStatusRequests[m_next];
    return "DLE EOT " + std::to_string(static_cast<unsigned>(request)) + " (" +
           protocol::statusRequestName(request) + ")";
}

void StatusExchange::fail(FailKind kind, std::string reason) {
    m_reading.kind = kind;
    m_reading.reason = std::move(reason);
    m_over = true;
}

void StatusExchange::answer(std::uint8_t byte) {
    m_reading.bytes[m_next] = byte;
    if (!protocol::decodeStatus(protocol::kStatusRequests[m_next], byte).valid)
        return fail(FailKind::Internal, "the answer " + protocol::toHex(&byte, 1) + " to " +
                                            asked() + " is not a status byte; is this a printer?");
    if (++m_next < protocol::kStatusRequests.size())
        return;
    m_reading.answered = true;
    m_reading.summary = protocol::summarizeStatus(m_reading.bytes);
    m_over = true;
}

void StatusExchange::sendFailed(FailKind kind, const std::string &why) {
    fail(kind, "sending " + asked() + " failed: " + why);
}

void StatusExchange::readFailed(FailKind kind, const std::string &why) {
    fail(kind, "no answer to " + asked() + ": " + why);
}

void StatusExchange::noAnswerWithin(int waitMillis) {
    fail(FailKind::Timeout,
         "no answer to " + asked() + " within " + std::to_string(waitMillis) + " ms");
}

StatusReading readStatus(PosdllFuncs &lib, int handle, int waitMillis) {
    StatusExchange x;
    while (!x.over()) {
        const auto bytes = x.request();
        const int sent = lib.POS_WriteFile(handle, bytes.data(), static_cast<int>(bytes.size()));
        if (sent != static_cast<int>(bytes.size())) {
            x.sendFailed(lastFailKind(lib), lib.POS_LastError());
            break;
        }
        std::uint8_t byte = 0;
        const int got = lib.POS_ReadFile(handle, &byte, 1, waitMillis);
        if (got < 0)
            x.readFailed(lastFailKind(lib), lib.POS_LastError());
        else if (got == 0)
            x.noAnswerWithin(waitMillis);
        else
            x.answer(byte);
    }
    return x.reading();
}

} // namespace device
