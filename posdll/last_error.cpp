// The reason of the last failure, one per thread.
#include "posdll/transport.h"

namespace posdll {

namespace {
thread_local std::string t_lastError;
} // namespace

void setLastError(std::string reason) {
    t_lastError = std::move(reason);
}

const std::string &lastError() {
    return t_lastError;
}

} // namespace posdll
