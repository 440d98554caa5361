#include "posdll/fd.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace posdll {

namespace {

// Blocks SIGPIPE in this thread while a write to a pipe or FIFO may raise it, and takes back
// the signal such a write left pending, so neither the process nor its handlers see it.
class SigpipeBlocked {
  public:
    SigpipeBlocked() {
        sigemptyset(&m_pipe);
        sigaddset(&m_pipe, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        m_wasPending = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &m_pipe, &m_old);
    }
    void brokenPipe() { m_raised = true; }
    ~SigpipeBlocked() {
        if (m_raised && !m_wasPending) {
            const timespec zero{0, 0};
            while (sigtimedwait(&m_pipe, nullptr, &zero) == -1 && errno == EINTR) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
    }
    SigpipeBlocked(const SigpipeBlocked &) = delete;
    SigpipeBlocked &operator=(const SigpipeBlocked &) = delete;

  private:
    sigset_t m_pipe;
    sigset_t m_old;
    bool m_wasPending = false;
    bool m_raised = false;
};

// How long to wait before writing again to a port that said it was writable and then took
// nothing.
constexpr milliseconds kBusyRetryPause{20};

void pauseUntil(Clock::time_point until) {
    while (millisecondsLeft(until) > 0)
        ::poll(nullptr, 0, millisecondsLeft(until));
}

} // namespace

int Fd::reset(int fd) {
    int err = 0;
    if (m_fd >= 0 && ::close(m_fd) != 0 && errno != EINTR)
        err = errno;
    m_fd = fd;
    return err;
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
        if (err == EPIPE && sigpipe)
            sigpipe->brokenPipe();
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

} // namespace posdll
