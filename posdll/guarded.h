// The C entry points' guard: nothing may throw across the C boundary.
#pragma once

#include "posdll/transport.h"

#include <exception>
#include <string>

namespace posdll {

// An exception (out of memory, no thread for a name lookup) becomes a failure with its reason.
template <class Body> int guarded(Body body) noexcept {
    try {
        return body();
    } catch (const std::exception &e) {
        try {
            setLastError(std::string("internal error: ") + e.what());
        } catch (...) {
        }
    } catch (...) {
    }
    return -1;
}

} // namespace posdll
