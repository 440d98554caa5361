#include "protocol/status_summary.h"

#include <algorithm>

namespace protocol {

namespace {

bool has(const std::vector<StatusFlag> &flags, StatusFlag f) {
    return std::find(flags.begin(), flags.end(), f) != flags.end();
}

// Whether another flag present already explains this one.
bool explained(StatusFlag flag, const std::vector<StatusFlag> &all) {
    switch (flag) {
    case StatusFlag::Offline:
        return has(all, StatusFlag::CoverOpen) || has(all, StatusFlag::PaperEnd) ||
               has(all, StatusFlag::FeedingByButton) || has(all, StatusFlag::Error);
    case StatusFlag::StoppedAtPaperEnd:
    case StatusFlag::PaperNearEnd:
        return has(all, StatusFlag::PaperEnd);
    case StatusFlag::Error: // the error cause names it better
        return has(all, StatusFlag::AutocutterError) || has(all, StatusFlag::UnrecoverableError) ||
               has(all, StatusFlag::AutoRecoverableError);
    case StatusFlag::WaitingForRecovery:
    case StatusFlag::FeedButtonPressed:
    case StatusFlag::DrawerPin3High:
    case StatusFlag::CoverOpen:
    case StatusFlag::FeedingByButton:
    case StatusFlag::AutocutterError:
    case StatusFlag::UnrecoverableError:
    case StatusFlag::AutoRecoverableError:
    case StatusFlag::PaperEnd:
        return false;
    }
    return false;
}

} // namespace

StatusSummary summarizeStatus(const std::array<std::uint8_t, 4> &bytes) {
    StatusSummary s;
    s.ready = true;
    std::vector<StatusFlag> all;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const StatusReport r = decodeStatus(kStatusRequests[i], bytes[i]);
        s.ready = s.ready && r.ready;
        all.insert(all.end(), r.flags.begin(), r.flags.end());
    }
    s.offline = has(all, StatusFlag::Offline);
    s.coverOpen = has(all, StatusFlag::CoverOpen);
    s.error = has(all, StatusFlag::Error) || has(all, StatusFlag::AutocutterError) ||
              has(all, StatusFlag::UnrecoverableError) ||
              has(all, StatusFlag::AutoRecoverableError);
    s.paper = has(all, StatusFlag::PaperEnd)       ? PaperLevel::Out
              : has(all, StatusFlag::PaperNearEnd) ? PaperLevel::NearEnd
                                                   : PaperLevel::Ok;
    for (StatusFlag f : all)
        if (!explained(f, all))
            s.conditions.push_back(f);
    return s;
}

std::string describeSummary(const StatusSummary &summary) {
    return describeReadiness(summary.ready, summary.conditions);
}

const char *paperLevelName(PaperLevel level) {
    switch (level) {
    case PaperLevel::Ok:
        return "ok";
    case PaperLevel::NearEnd:
        return "near-end";
    case PaperLevel::Out:
        return "out";
    }
    return "";
}

} // namespace protocol
