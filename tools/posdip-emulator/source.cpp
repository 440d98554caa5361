#include "source.h"

#include <poll.h>

namespace emulator {

namespace {

// A few thousand answers; a sender that reads them is never near it.
constexpr std::size_t kUnsentCap = 16 * 1024;

} // namespace

bool Source::mayRead() const {
    return !stalled && !ended && unsent.size() < kUnsentCap;
}

short Source::events() const {
    if (stalled)
        return POLLRDHUP;
    return static_cast<short>((mayRead() ? POLLIN : 0) | (unsent.empty() ? 0 : POLLOUT));
}

int Source::flush(std::size_t *dropped) {
    *dropped = 0;
    if (unsent.empty())
        return 0;
    const posdll::WriteProgress p = posdll::writeAll(
        fd.get(), kind, unsent.data(), static_cast<int>(unsent.size()), posdll::milliseconds(0));
    unsent.erase(unsent.begin(), unsent.begin() + p.written);
    if (kind == posdll::FdKind::Device) {
        *dropped = unsent.size();
        unsent.clear();
    }
    return p.error;
}

} // namespace emulator
