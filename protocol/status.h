// The printer's real-time status: the request DLE EOT n and the one byte it answers, both ways.
// Pure: no I/O.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace protocol {

inline constexpr std::uint8_t kDle = 0x10;
inline constexpr std::uint8_t kEot = 0x04;

// The n of DLE EOT n.
enum class StatusRequest : std::uint8_t {
    Printer = 1,
    OfflineCause = 2,
    ErrorCause = 3,
    RollPaper = 4,
};

// The requests a full status reading sends, in order.
inline constexpr std::array<StatusRequest, 4> kStatusRequests = {
    StatusRequest::Printer, StatusRequest::OfflineCause, StatusRequest::ErrorCause,
    StatusRequest::RollPaper};

// The bytes of one request: DLE EOT n.
constexpr std::array<std::uint8_t, 3> statusRequestBytes(StatusRequest request) {
    return {kDle, kEot, static_cast<std::uint8_t>(request)};
}

// Empty for an n the printer does not answer.
std::optional<StatusRequest> statusRequestFor(std::uint8_t n);
// "printer", "off-line cause", "error cause", "roll paper sensor"
const char *statusRequestName(StatusRequest request);

enum class PaperLevel { Ok, NearEnd, Out };

// What the printer is like at the moment; the status bytes follow from it.
struct PrinterCondition {
    PaperLevel paper = PaperLevel::Ok;
    bool coverOpen = false;
    bool offline = false; // taken off-line on purpose; an open cover or no paper does it as well
};

// Every state a status bit reports.
enum class StatusFlag {
    Offline,
    WaitingForRecovery,
    FeedButtonPressed,
    DrawerPin3High,
    CoverOpen,
    FeedingByButton,
    StoppedAtPaperEnd,
    Error,
    AutocutterError,
    UnrecoverableError,
    AutoRecoverableError,
    PaperNearEnd,
    PaperEnd,
};

// "off-line", "cover open", "paper near end" ...
const char *statusFlagText(StatusFlag flag);

// The byte the printer answers to the request in this condition.
std::uint8_t encodeStatus(StatusRequest request, const PrinterCondition &condition);

struct StatusReport {
    bool valid = false;            // the fixed bits are right: it is a status byte at all
    bool ready = false;            // valid, and nothing reported stops printing
    std::vector<StatusFlag> flags; // in bit order; empty when not valid
};

StatusReport decodeStatus(StatusRequest request, std::uint8_t byte);

// "ready", "ready: paper near end", "not ready: off-line, cover open", "not a status byte"
std::string describeStatus(StatusRequest request, std::uint8_t byte);
// "ready" or "not ready", then the flags if any: "not ready: off-line, cover open"
std::string describeReadiness(bool ready, const std::vector<StatusFlag> &flags);

} // namespace protocol
