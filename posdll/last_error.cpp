// The reason of the last failure and its kind, one per thread.
#include "posdll/transport.h"

#include <cerrno>

namespace posdll {

namespace {
thread_local std::string t_lastError;
thread_local ErrorKind t_lastKind = POS_ERR_NONE;
} // namespace

void setLastError(std::string reason, ErrorKind kind) {
    t_lastError = std::move(reason);
    t_lastKind = t_lastError.empty() ? POS_ERR_NONE : kind;
}

const std::string &lastError() {
    return t_lastError;
}

ErrorKind lastErrorKind() {
    return t_lastKind;
}

ErrorKind errorKindOf(int err) {
    switch (err) {
    case ECONNREFUSED:
        return POS_ERR_REFUSED;
    case ETIMEDOUT:
    case EHOSTUNREACH:
    case ENETUNREACH:
        return POS_ERR_TIMEOUT;
    case ECONNRESET:
    case ECONNABORTED:
        return POS_ERR_RESET;
    case EPIPE:
    case ENOTCONN:
        return POS_ERR_CLOSED;
    case EBUSY:
    case EWOULDBLOCK:
        return POS_ERR_BUSY;
    case EACCES:
    case EPERM:
    case EROFS:
        return POS_ERR_DENIED;
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return POS_ERR_MISSING;
    case ENOTTY:
    case EISDIR:
        return POS_ERR_NOT_DEVICE;
    case EMFILE:
    case ENFILE:
        return POS_ERR_NO_DESCRIPTORS;
    default:
        return POS_ERR_INTERNAL;
    }
}

} // namespace posdll
