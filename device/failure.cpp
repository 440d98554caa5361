#include "device/failure.h"

#include "posdll/posdll.h"

namespace device {

const char *failKindName(FailKind kind) {
    switch (kind) {
    case FailKind::Ok:
        return "ok";
    case FailKind::Spooled:
        return "spooled";
    case FailKind::Refused:
        return "refused";
    case FailKind::Timeout:
        return "timeout";
    case FailKind::Unreachable:
        return "unreachable";
    case FailKind::Reset:
        return "reset";
    case FailKind::Closed:
        return "closed";
    case FailKind::Busy:
        return "busy";
    case FailKind::Denied:
        return "denied";
    case FailKind::Missing:
        return "missing";
    case FailKind::NotADevice:
        return "not-a-device";
    case FailKind::Queue:
        return "queue";
    case FailKind::NotReady:
        return "not-ready";
    case FailKind::CannotVerify:
        return "cannot-verify";
    case FailKind::Usage:
        return "usage";
    case FailKind::NoDescriptors:
        return "no-descriptors";
    case FailKind::Internal:
        return "internal";
    }
    return "internal";
}

const char *stageName(Stage stage) {
    switch (stage) {
    case Stage::Open:
        return "open";
    case Stage::Status:
        return "status";
    case Stage::Write:
        return "write";
    case Stage::End:
        return "end";
    case Stage::Close:
        return "close";
    }
    return "";
}

FailKind failKindOfLibraryError(int code) {
    switch (code) {
    case POS_ERR_REFUSED:
        return FailKind::Refused;
    case POS_ERR_TIMEOUT:
        return FailKind::Timeout;
    case POS_ERR_RESET:
        return FailKind::Reset;
    case POS_ERR_CLOSED:
        return FailKind::Closed;
    case POS_ERR_BUSY:
        return FailKind::Busy;
    case POS_ERR_DENIED:
        return FailKind::Denied;
    case POS_ERR_MISSING:
        return FailKind::Missing;
    case POS_ERR_NOT_DEVICE:
        return FailKind::NotADevice;
    case POS_ERR_QUEUE:
        return FailKind::Queue;
    case POS_ERR_BAD_ARGUMENT:
        return FailKind::Usage;
    case POS_ERR_UNREACHABLE:
        return FailKind::Unreachable;
    case POS_ERR_NO_BACK_CHANNEL:
        return FailKind::CannotVerify;
    case POS_ERR_NO_DESCRIPTORS:
        return FailKind::NoDescriptors;
    default: // POS_ERR_NONE after a failure, POS_ERR_INTERNAL, or a code newer than this program
        return FailKind::Internal;
    }
}

} // namespace device
