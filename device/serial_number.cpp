#include "device/serial_number.h"

#include "protocol/printer_id.h"

#include <chrono>

namespace device {

namespace {

// Unread input is at most a few automatic status blocks; more is a stream that never ends.
constexpr int kMaxStaleBytes = 4096;
// The reply's text, its header and NUL, and room for status blocks, XON and XOFF between.
constexpr std::size_t kMaxReplyBytes = protocol::kIdTextMax + 2 + 64;

} // namespace

std::optional<std::string> readSerialNumber(PosdllFuncs &lib, int handle, int waitMillis) {
    std::uint8_t buf[256];
    for (int stale = 0; stale < kMaxStaleBytes;) {
        const int n = lib.POS_ReadFile(handle, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        stale += n;
    }
    const auto request = protocol::idRequestBytes(protocol::IdRequest::Serial);
    if (lib.POS_WriteFile(handle, request.data(), static_cast<int>(request.size())) !=
        static_cast<int>(request.size()))
        return std::nullopt;
    protocol::IdReplyReader reader(protocol::IdRequest::Serial);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMillis);
    for (std::size_t got = 0; got < kMaxReplyBytes; ++got) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        // One byte at a time: whatever follows the reply is not ours to take.
        if (left.count() <= 0 ||
            lib.POS_ReadFile(handle, buf, 1, static_cast<int>(left.count())) != 1)
            return std::nullopt;
        switch (reader.take(buf[0])) {
        case protocol::IdReplyReader::Progress::Incomplete:
            continue;
        case protocol::IdReplyReader::Progress::Complete:
            return reader.text().empty() ? std::nullopt : std::optional(reader.text());
        case protocol::IdReplyReader::Progress::Invalid:
            return std::nullopt;
        }
    }
    return std::nullopt;
}

} // namespace device
