// The reason of the last failure and its kind, one per thread.
#include "posdll/transport.h"

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

} // namespace posdll
