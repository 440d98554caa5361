#include "batch/descriptor_limit.h"

#include "posdll/fd.h"

#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <limits>
#include <system_error>

namespace batch {

namespace {

// Descriptors kept free for the serial, parallel and queue lane, the print server's connection,
// name lookups and the runtime (a sanitizer's memory checks open a pipe).
constexpr long kReserve = 16;

long openDescriptors() {
    std::error_code ec;
    long n = 0;
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
    const long left = static_cast<long>(lim.rlim_cur) - openDescriptors() - kReserve;
    return static_cast<int>(std::clamp<long>(left, 1, kUnlimited));
}

bool outOfDescriptors(const app::Outcome &outcome) {
    static const std::string kText = posdll::errnoText(EMFILE);
    return !outcome.succeeded() && outcome.text == app::kOpenFailed &&
           outcome.detail.find(kText) != std::string::npos;
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

bool DescriptorWait::waitForAnEnd(std::size_t endedBefore) {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_ended != endedBefore || m_inFlight == 1; });
    return m_ended != endedBefore;
}

} // namespace batch
