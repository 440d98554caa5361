#include "batch/descriptor_limit.h"

#include <sys/resource.h>

#include <algorithm>
#include <filesystem>
#include <limits>
#include <system_error>

namespace batch {

namespace {

// The descriptors open now, not counting the one that lists them.
long openDescriptors() {
    std::error_code ec;
    long n = -1;
    for (std::filesystem::directory_iterator it("/proc/self/fd", ec), end; !ec && it != end;
         it.increment(ec))
        ++n;
    return ec ? 3 : n;
}

} // namespace

void raiseDescriptorLimit() {
    rlimit lim{};
    if (::getrlimit(RLIMIT_NOFILE, &lim) != 0 || lim.rlim_cur == lim.rlim_max)
        return;
    lim.rlim_cur = lim.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &lim);
}

int printersWithinDescriptorLimit() {
    constexpr long kUnlimited = std::numeric_limits<int>::max();
    rlimit lim{};
    if (::getrlimit(RLIMIT_NOFILE, &lim) != 0 || lim.rlim_cur == RLIM_INFINITY)
        return kUnlimited;
    const long left = static_cast<long>(lim.rlim_cur) - openDescriptors() - kDescriptorReserve;
    return static_cast<int>(std::clamp<long>(left, 1, kUnlimited));
}

void DescriptorWait::begin() {
    std::lock_guard lock(m_mutex);
    ++m_inFlight;
}

void DescriptorWait::end() {
    {
        std::lock_guard lock(m_mutex);
        --m_inFlight;
        ++m_ended;
    }
    m_changed.notify_all();
}

std::size_t DescriptorWait::ended() {
    std::lock_guard lock(m_mutex);
    return m_ended;
}

std::size_t DescriptorWait::shortages() {
    std::lock_guard lock(m_mutex);
    return m_shortages;
}

bool DescriptorWait::waitForAnEnd(std::size_t endedBefore) {
    std::unique_lock lock(m_mutex);
    ++m_shortages;
    m_changed.wait(lock, [&] { return m_ended != endedBefore || m_inFlight == 1; });
    return m_ended != endedBefore;
}

} // namespace batch
