#include "protocol/status.h"

namespace protocol {

namespace {

// Bits 7, 4, 1, 0 of every answer read 0, 1, 1, 0.
constexpr std::uint8_t kFixedMask = 0x93;
constexpr std::uint8_t kFixedBits = 0x12;

struct StatusBit {
    StatusRequest request;
    std::uint8_t mask; // a flag with two bits is reported when either is set
    StatusFlag flag;
    bool stopsPrinting;
};

constexpr StatusBit kStatusBits[] = {
    {StatusRequest::Printer, 0x04, StatusFlag::DrawerPin3High, false},
    {StatusRequest::Printer, 0x08, StatusFlag::Offline, true},
    {StatusRequest::Printer, 0x20, StatusFlag::WaitingForRecovery, true},
    {StatusRequest::Printer, 0x40, StatusFlag::FeedButtonPressed, false},
    {StatusRequest::OfflineCause, 0x04, StatusFlag::CoverOpen, true},
    {StatusRequest::OfflineCause, 0x08, StatusFlag::FeedingByButton, true},
    {StatusRequest::OfflineCause, 0x20, StatusFlag::StoppedAtPaperEnd, true},
    {StatusRequest::OfflineCause, 0x40, StatusFlag::Error, true},
    {StatusRequest::ErrorCause, 0x08, StatusFlag::AutocutterError, true},
    {StatusRequest::ErrorCause, 0x20, StatusFlag::UnrecoverableError, true},
    {StatusRequest::ErrorCause, 0x40, StatusFlag::AutoRecoverableError, true},
    {StatusRequest::RollPaper, 0x0C, StatusFlag::PaperNearEnd, false},
    {StatusRequest::RollPaper, 0x60, StatusFlag::PaperEnd, true},
};

// Whether the condition shows the flag. The ones without a cause here (buttons, drawer,
// errors) never show.
bool shows(StatusFlag flag, const PrinterCondition &c) {
    const bool paperOut = c.paper == PaperLevel::Out;
    switch (flag) {
    case StatusFlag::Offline:
        return c.offline || c.coverOpen || paperOut;
    case StatusFlag::CoverOpen:
        return c.coverOpen;
    case StatusFlag::StoppedAtPaperEnd:
    case StatusFlag::PaperEnd:
        return paperOut;
    case StatusFlag::PaperNearEnd: // a roll that has run out has passed its near end too
        return c.paper != PaperLevel::Ok;
    case StatusFlag::WaitingForRecovery:
    case StatusFlag::FeedButtonPressed:
    case StatusFlag::DrawerPin3High:
    case StatusFlag::FeedingByButton:
    case StatusFlag::Error:
    case StatusFlag::AutocutterError:
    case StatusFlag::UnrecoverableError:
    case StatusFlag::AutoRecoverableError:
        return false;
    }
    return false;
}

} // namespace

std::optional<StatusRequest> statusRequestFor(std::uint8_t n) {
    for (StatusRequest r : kStatusRequests)
        if (static_cast<std::uint8_t>(r) == n)
            return r;
    return std::nullopt;
}

const char *statusRequestName(StatusRequest request) {
    switch (request) {
    case StatusRequest::Printer:
        return "printer";
    case StatusRequest::OfflineCause:
        return "off-line cause";
    case StatusRequest::ErrorCause:
        return "error cause";
    case StatusRequest::RollPaper:
        return "roll paper sensor";
    }
    return "";
}

const char *statusFlagText(StatusFlag flag) {
    switch (flag) {
    case StatusFlag::Offline:
        return "off-line";
    case StatusFlag::WaitingForRecovery:
        return "waiting for on-line recovery";
    case StatusFlag::FeedButtonPressed:
        return "paper feed button pressed";
    case StatusFlag::DrawerPin3High:
        return "drawer kick-out connector pin 3 high";
    case StatusFlag::CoverOpen:
        return "cover open";
    case StatusFlag::FeedingByButton:
        return "paper being fed by the feed button";
    case StatusFlag::StoppedAtPaperEnd:
        return "printing stopped at paper end";
    case StatusFlag::Error:
        return "error";
    case StatusFlag::AutocutterError:
        return "autocutter error";
    case StatusFlag::UnrecoverableError:
        return "unrecoverable error";
    case StatusFlag::AutoRecoverableError:
        return "automatically recoverable error";
    case StatusFlag::PaperNearEnd:
        return "paper near end";
    case StatusFlag::PaperEnd:
        return "paper end";
    }
    return "";
}

std::uint8_t encodeStatus(StatusRequest request, const PrinterCondition &condition) {
    std::uint8_t byte = kFixedBits;
    for (const StatusBit &b : kStatusBits)
        if (b.request == request && shows(b.flag, condition))
            byte |= b.mask;
    return byte;
}

StatusReport decodeStatus(StatusRequest request, std::uint8_t byte) {
    StatusReport r;
    r.valid = (byte & kFixedMask) == kFixedBits;
    if (!r.valid)
        return r;
    r.ready = true;
    for (const StatusBit &b : kStatusBits)
        if (b.request == request && (byte & b.mask)) {
            r.flags.push_back(b.flag);
            r.ready = r.ready && !b.stopsPrinting;
        }
    return r;
}

std::string describeStatus(StatusRequest request, std::uint8_t byte) {
    const StatusReport r = decodeStatus(request, byte);
    if (!r.valid)
        return "not a status byte";
    return describeReadiness(r.ready, r.flags);
}

std::string describeReadiness(bool ready, const std::vector<StatusFlag> &flags) {
    std::string s = ready ? "ready" : "not ready";
    for (std::size_t i = 0; i < flags.size(); ++i)
        s += (i ? ", " : ": ") + std::string(statusFlagText(flags[i]));
    return s;
}

} // namespace protocol
