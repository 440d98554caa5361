// File descriptors owned by RAII, and the bounded waits and writes every transport uses.
#pragma once

#include <chrono>
#include <csignal>
#include <string>

namespace posdll {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

class Fd {
  public:
    Fd() = default;
    explicit Fd(int fd) : m_fd(fd) {}
    Fd(Fd &&other) noexcept : m_fd(other.release()) {}
    Fd &operator=(Fd &&other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    ~Fd() { reset(); }

    int get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }
    int release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    // Closes the descriptor held (if any) and takes fd; returns the errno of close(), or 0.
    int reset(int fd = -1);

  private:
    int m_fd = -1;
};

// Holds SIGPIPE back on this thread while a write may raise it (to a pipe, a FIFO, or a socket
// written without MSG_NOSIGNAL), and takes back one that became pending meanwhile, so neither the
// process nor its handlers see it. errno survives the destructor.
class SigpipeBlocked {
  public:
    SigpipeBlocked();
    ~SigpipeBlocked();
    SigpipeBlocked(const SigpipeBlocked &) = delete;
    SigpipeBlocked &operator=(const SigpipeBlocked &) = delete;

  private:
    sigset_t m_pipe;
    sigset_t m_before;
    bool m_wasPending = false;
};

// Waits for events on fd until the deadline (EINTR is waited through). Returns the revents,
// 0 when the deadline passed, -1 with errno on failure.
int pollUntil(int fd, short events, Clock::time_point deadline);

// The pending error of a socket (SO_ERROR, which clears it), 0 when none.
int socketError(int fd);

// Milliseconds left until the deadline, 0 once it has passed.
int millisecondsLeft(Clock::time_point deadline);

// strerror, thread-safe.
std::string errnoText(int err);

// "5 s" or "500 ms".
std::string durationText(milliseconds d);

struct WriteProgress {
    int written = 0;      // bytes the system took
    int error = 0;        // errno of the write that failed, 0 when none
    bool stalled = false; // the port took no byte within the wait
    bool complete(int count) const { return written == count; }
};

enum class FdKind { Socket, Device };

// Writes all bytes to a non-blocking descriptor, looping over short writes and waiting at most
// `wait` for the port to take more. Never raises SIGPIPE, not even for a pipe or FIFO.
WriteProgress writeAll(int fd, FdKind kind, const unsigned char *bytes, int count,
                       milliseconds wait);

// readSome's answer when the other side has ended the stream.
inline constexpr int kEndOfStream = -2;

// Reads up to count bytes from a non-blocking descriptor once some are there, waiting until
// the deadline: the count read, 0 when none came, kEndOfStream, or -1 with errno.
int readSome(int fd, unsigned char *bytes, int count, Clock::time_point deadline);

// "after 3 of 11 bytes", the tail of every failed-write reason.
std::string progressText(const WriteProgress &p, int count);

} // namespace posdll
