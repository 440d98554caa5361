#include "batch/end_watch.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <optional>
#include <queue>
#include <system_error>
#include <unordered_map>

namespace batch {

namespace {

using Clock = std::chrono::steady_clock;

// epoll data of the two descriptors that are no connection; ends are numbered after them.
constexpr std::uint64_t kWakeId = 0;
constexpr std::uint64_t kTimerId = 1;

int checked(int fd, const char *what) {
    if (fd < 0)
        throw std::system_error(errno, std::generic_category(), what);
    return fd;
}

bool add(int epoll, int fd, std::uint32_t events, std::uint64_t id) {
    epoll_event e{};
    e.events = events;
    e.data.u64 = id;
    return ::epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &e) == 0;
}

// Arms the timer for `when` (steady_clock is CLOCK_MONOTONIC); a time already past fires at once.
void armTimer(int timer, Clock::time_point when) {
    const auto ns = std::max<std::int64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(when.time_since_epoch()).count(), 1);
    itimerspec at{};
    at.it_value.tv_sec = static_cast<time_t>(ns / 1000000000);
    at.it_value.tv_nsec = static_cast<long>(ns % 1000000000);
    ::timerfd_settime(timer, TFD_TIMER_ABSTIME, &at, nullptr);
}

void drain(int fd) {
    std::uint64_t count;
    while (::read(fd, &count, sizeof count) > 0) {
    }
}

} // namespace

EndWatch::EndWatch()
    : m_epoll(checked(::epoll_create1(EPOLL_CLOEXEC), "epoll_create1")),
      m_timer(checked(::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC), "timerfd")),
      m_wake(checked(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC), "eventfd")) {
    if (!add(m_epoll.get(), m_wake.get(), EPOLLIN, kWakeId) ||
        !add(m_epoll.get(), m_timer.get(), EPOLLIN, kTimerId))
        throw std::system_error(errno, std::generic_category(), "epoll_ctl");
    m_thread = std::thread([this] { run(); });
}

EndWatch::~EndWatch() {
    {
        std::lock_guard lock(m_mutex);
        m_closing = true;
    }
    wake();
    m_thread.join();
}

void EndWatch::watch(device::PendingEnd end, Settled settled) {
    {
        std::lock_guard lock(m_mutex);
        m_handed.push_back({std::move(end), std::move(settled)});
    }
    wake();
}

void EndWatch::wake() {
    const std::uint64_t one = 1;
    while (::write(m_wake.get(), &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void EndWatch::run() {
    struct Watched {
        Handed handed;
        Clock::time_point next;
    };
    std::unordered_map<std::uint64_t, Watched> watched;
    // When to look at which end; an entry whose end was looked at since is stale and skipped.
    using Due = std::pair<Clock::time_point, std::uint64_t>;
    std::priority_queue<Due, std::vector<Due>, std::greater<>> due;
    std::uint64_t nextId = kTimerId + 1;

    auto look = [&](std::uint64_t id) {
        const auto it = watched.find(id);
        if (it == watched.end())
            return;
        Watched &w = it->second;
        if (const std::optional<device::WriteResult> r = w.handed.end.look(w.next)) {
            w.handed.settled(*r); // the descriptor is closed, and so gone from the epoll set
            watched.erase(it);
            return;
        }
        due.emplace(w.next, id);
    };
    auto takeHanded = [&] {
        std::vector<Handed> handed;
        bool closing;
        {
            std::lock_guard lock(m_mutex);
            handed.swap(m_handed);
            closing = m_closing;
        }
        for (Handed &h : handed) {
            const std::uint64_t id = nextId++;
            const int fd = h.end.fd();
            watched.emplace(id, Watched{std::move(h), {}});
            // Unwatched (no room in the epoll set), an end is still looked at on its timer.
            add(m_epoll.get(), fd, EPOLLIN | EPOLLRDHUP | EPOLLET, id);
            look(id);
        }
        return closing;
    };

    bool closing = false;
    epoll_event events[256];
    for (;;) {
        const int n = ::epoll_wait(m_epoll.get(), events, 256, -1);
        for (int i = 0; i < n; ++i) {
            const std::uint64_t id = events[i].data.u64;
            if (id == kWakeId) {
                drain(m_wake.get());
                closing = takeHanded() || closing;
            } else if (id == kTimerId) {
                drain(m_timer.get());
                const auto now = Clock::now();
                while (!due.empty() && due.top().first <= now) {
                    const auto [when, end] = due.top();
                    due.pop();
                    if (const auto it = watched.find(end);
                        it != watched.end() && it->second.next == when)
                        look(end);
                }
            } else {
                look(id);
            }
        }
        while (!due.empty() && !watched.contains(due.top().second))
            due.pop();
        if (closing && watched.empty()) {
            std::lock_guard lock(m_mutex);
            if (m_handed.empty())
                return;
        }
        if (!due.empty())
            armTimer(m_timer.get(), due.top().first);
    }
}

} // namespace batch
