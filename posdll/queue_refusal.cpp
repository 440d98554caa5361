#include "queue_refusal.h"

#include "quoted.h"

#include <array>
#include <string_view>

namespace posdll {

std::string queueRefusalText(QueueRefusal why, const std::string &queue,
                             const std::string &reason) {
    const std::string because = reason.empty() ? "" : " (" + quoted(reason) + ")";
    switch (why) {
    case QueueRefusal::Stopped:
        return "the queue is stopped" + because + "; cupsenable " + quoted(queue) + " starts it";
    case QueueRefusal::NotAccepting:
        return "the queue does not accept jobs" + because + "; cupsaccept " + quoted(queue) +
               " opens it";
    }
    return {};
}

namespace {

// State reasons, without their severity suffix, that keep the printer from printing.
constexpr std::array<std::string_view, 10> kTroubleReasons = {
    "offline",   "connecting-to-device", "timed-out", "shutdown", "media-empty", "media-needed",
    "media-jam", "cover-open",           "door-open", "other"};

// What the backends say while they cannot reach the printer (the server's own language: these
// are its English texts).
constexpr std::array<std::string_view, 5> kUnreachableMessages = {
    "The printer may not exist or is unavailable at this time", "The printer is unreachable",
    "The printer is not responding", "The printer is not connected",
    "Waiting for printer to become available"};

std::string_view withoutSeverity(std::string_view reason) {
    for (const std::string_view suffix : {"-report", "-warning", "-error"})
        if (reason.ends_with(suffix))
            return reason.substr(0, reason.size() - suffix.size());
    return reason;
}

bool contains(const auto &list, std::string_view item, bool prefix) {
    for (const std::string_view known : list)
        if (prefix ? item.starts_with(known) : item == known)
            return true;
    return false;
}

} // namespace

std::optional<std::string> printerTrouble(const std::vector<std::string> &reasons,
                                          const std::string &message) {
    std::string found;
    for (const std::string &r : reasons)
        if (contains(kTroubleReasons, withoutSeverity(r), false))
            found += (found.empty() ? "" : ", ") + r;
    if (found.empty() && !contains(kUnreachableMessages, message, true))
        return std::nullopt;
    const std::string said = message.empty() ? "" : quoted(message);
    return "the print server says the printer cannot print now: " +
           (found.empty() ? said : found + (said.empty() ? "" : " (" + said + ")"));
}

} // namespace posdll
