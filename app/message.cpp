#include "app/message.h"

namespace app {

namespace {

Message box(MessageIcon icon, std::string text, std::string detail = {}) {
    Message m;
    m.kind = MessageKind::Box;
    m.title = icon == MessageIcon::Error ? "error" : "info";
    m.icon = icon;
    m.text = std::move(text);
    m.detail = std::move(detail);
    return m;
}

// A failure is told by the stage it ended in (and a status that cannot be read by its kind); a
// success by `success` (nothing when null).
Message described(const Result &result, const char *success) {
    if (result.succeeded())
        return success ? box(MessageIcon::Information, success) : Message{};
    switch (result.stage) {
    case device::Stage::Open:
        return box(MessageIcon::Error, kOpenFailed, result.reason);
    case device::Stage::Status:
        return box(MessageIcon::Error,
                   result.kind == device::FailKind::CannotVerify ? kCannotVerify : kNotReady,
                   result.reason);
    case device::Stage::Write:
    case device::Stage::End:
    case device::Stage::Close:
        return box(MessageIcon::Error, kWriteFailed, result.reason);
    }
    return box(MessageIcon::Error, kWriteFailed, result.reason); // not reached: every stage above
}

} // namespace

Message messageFor(Action action, const Result &result) {
    const ActionEntry &entry = actionEntry(action);
    if (entry.quits) {
        Message quit;
        quit.kind = MessageKind::Quit;
        return quit;
    }
    return described(result, entry.success);
}

Message statusMessage(const Result &result) {
    return described(result, nullptr);
}

} // namespace app
