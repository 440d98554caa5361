// The reason of the last failure, its kind and the system's error behind it, one per thread.
#include "posdll/transport.h"

namespace posdll {

namespace {
thread_local std::string t_lastError;
thread_local ErrorKind t_lastKind = POS_ERR_NONE;
thread_local int t_lastErrno = 0;
} // namespace

void setLastError(std::string reason, ErrorKind kind, int err) {
    t_lastError = std::move(reason);
    const bool none = t_lastError.empty();
    t_lastKind = none ? POS_ERR_NONE : kind;
    t_lastErrno = none ? 0 : err;
}

const std::string &lastError() {
    return t_lastError;
}

ErrorKind lastErrorKind() {
    return t_lastKind;
}

int lastErrno() {
    return t_lastErrno;
}

} // namespace posdll
