#include "posdll/fd.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <optional>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

namespace posdll {

namespace {

// How long to wait before writing again to a port that said it was writable and then took
// nothing.
constexpr milliseconds kBusyRetryPause{20};

void pauseUntil(Clock::time_point until) {
    while (millisecondsLeft(until) > 0)
        ::poll(nullptr, 0, millisecondsLeft(until));
}

bool sigpipePending() {
    sigset_t set;
    return ::sigpending(&set) == 0 && ::sigismember(&set, SIGPIPE) == 1;
}

} // namespace

SigpipeBlocked::SigpipeBlocked() {
    ::sigemptyset(&m_pipe);
    ::sigaddset(&m_pipe, SIGPIPE);
    ::pthread_sigmask(SIG_BLOCK, &m_pipe, &m_before);
    m_wasPending = sigpipePending();
}

SigpipeBlocked::~SigpipeBlocked() {
    const int savedErrno = errno; // the reason of the call this guarded
    if (!m_wasPending && sigpipePending()) {
        const timespec zero{0, 0};
        while (::sigtimedwait(&m_pipe, nullptr, &zero) == -1 && errno == EINTR) {
        }
    }
    ::pthread_sigmask(SIG_SETMASK, &m_before, nullptr);
    errno = savedErrno;
}

int Fd::reset(int fd) {
    int err = 0;
    if (m_fd >= 0 && ::close(m_fd) != 0 && errno != EINTR)
        err = errno;
    m_fd = fd;
    return err;
}

int socketError(int fd) {
    int err = 0;
    socklen_t len = sizeof err;
    return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 ? err : errno;
}

int millisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

int pollUntil(int fd, short events, Clock::time_point deadline) {
    pollfd p{fd, events, 0};
    for (;;) {
        const int n = ::poll(&p, 1, millisecondsLeft(deadline));
        if (n > 0)
            return p.revents;
        if (n == 0) {
            if (millisecondsLeft(deadline) == 0)
                return 0;
            continue;
        }
        if (errno != EINTR)
            return -1;
    }
}

std::string errnoText(int err) {
    char buf[256];
    // The GNU strerror_r returns the text, which need not be in buf.
    return ::strerror_r(err, buf, sizeof buf);
}

std::string durationText(milliseconds d) {
    if (d.count() % 1000 == 0)
        return std::to_string(d.count() / 1000) + " s";
    return std::to_string(d.count()) + " ms";
}

WriteProgress writeAll(int fd, FdKind kind, const unsigned char *bytes, int count,
                       milliseconds wait) {
    WriteProgress p;
    std::optional<SigpipeBlocked> sigpipe;
    if (kind == FdKind::Device)
        sigpipe.emplace();
    auto fail = [&](int err) {
        p.error = err;
        return p;
    };
    bool hungUp = false;
    // Said writable, then refused: a port whose poll always says writable (the parallel-port
    // driver has no poll) while its printer is busy. Without a pause that would spin.
    bool refusedWhenReady = false;
    // Moves only when the port takes bytes, so a port that never takes any fails in time.
    auto deadline = Clock::now() + wait;
    while (p.written < count) {
        const auto left = static_cast<std::size_t>(count - p.written);
        const ssize_t n = kind == FdKind::Socket
                              ? ::send(fd, bytes + p.written, left, MSG_NOSIGNAL | MSG_DONTWAIT)
                              : ::write(fd, bytes + p.written, left);
        if (n > 0) {
            p.written += static_cast<int>(n);
            deadline = Clock::now() + wait;
            refusedWhenReady = false;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return fail(errno);
        if (hungUp) // the other side hung up and the write says nothing more
            return fail(EPIPE);
        if (refusedWhenReady)
            pauseUntil(std::min(Clock::now() + kBusyRetryPause, deadline));
        if (Clock::now() >= deadline) {
            p.stalled = true;
            return p;
        }
        // The port is full: wait until it takes more, within the bound.
        const int ready = pollUntil(fd, POLLOUT, deadline);
        if (ready == 0) {
            p.stalled = true;
            return p;
        }
        if (ready < 0)
            return fail(errno);
        // An error or hang-up without room to write: the next write names the reason.
        hungUp = !(ready & POLLOUT);
        refusedWhenReady = !hungUp;
    }
    return p;
}

std::string progressText(const WriteProgress &p, int count) {
    return "after " + std::to_string(p.written) + " of " + std::to_string(count) + " bytes";
}

int readSome(int fd, unsigned char *bytes, int count, Clock::time_point deadline) {
    // Waits first: a terminal in raw mode reads 0 bytes when none are there, which is no end.
    for (;;) {
        const int ready = pollUntil(fd, POLLIN, deadline);
        if (ready <= 0)
            return ready;
        const ssize_t n = ::read(fd, bytes, static_cast<size_t>(count));
        if (n > 0)
            return static_cast<int>(n);
        if (n == 0)
            return kEndOfStream;
        if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)
            return -1;
    }
}

} // namespace posdll
