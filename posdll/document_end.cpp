#include "posdll/document_end.h"

#include "posdll/transport.h"

#include <algorithm>
#include <cerrno>
#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

namespace posdll {

namespace {

constexpr milliseconds kLinger{500}; // after the last acknowledgement, for a late reset
// How often the acknowledgements are looked at: they wake no wait on the descriptor.
constexpr milliseconds kAckLook{10};

} // namespace

long long unacknowledged(int fd, long long sent) {
    int n = 0;
    return ::ioctl(fd, SIOCOUTQ, &n) == 0 ? n : sent;
}

int drainInput(int fd) {
    char buf[512];
    ssize_t n = 0;
    int total = 0;
    while (total < (1 << 16) && (n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT)) > 0)
        total += static_cast<int>(n);
    if (n == 0)
        return 0;
    return total > 0 ? total : -1;
}

bool closeConnection(Fd &fd, const std::string &label) {
    drainInput(fd.get());
    const int err = fd.reset();
    if (err == 0)
        return true;
    setLastError(label + ": closing the connection failed: " + errnoText(err), POS_ERR_INTERNAL,
                 err);
    return false;
}

DocumentEnd::DocumentEnd(int fd, std::string label, long long sent, milliseconds stallLimit)
    : m_fd(fd), m_label(std::move(label)), m_sent(sent), m_stallLimit(stallLimit),
      m_stallEnd(Clock::now() + stallLimit), m_waiting(unacknowledged(fd, sent)) {}

DocumentEnd::State DocumentEnd::fail(const std::string &reason, int kind, int err) const {
    setLastError(m_label + ": " + reason, kind, err);
    return State::Failed;
}

std::string DocumentEnd::sentText() const {
    return "after " + std::to_string(m_sent) + " bytes were sent";
}

DocumentEnd::State DocumentEnd::look() {
    if (const int err = socketError(m_fd))
        return fail(connectionReasonOf(err) + " " + sentText(), errorKindOf(err), err);
    if (!m_peerClosed) {
        const int r = drainInput(m_fd);
        if (r == 0)
            m_peerClosed = true;
        else if (const int err = errno; r < 0 && err != EAGAIN && err != EWOULDBLOCK)
            return fail(connectionReasonOf(err) + " " + sentText(), errorKindOf(err), err);
    }
    const auto now = Clock::now();
    if (const long long left = unacknowledged(m_fd, m_sent); left < m_waiting) {
        m_waiting = left;
        m_stallEnd = now + m_stallLimit;
    }
    if (!m_acked && m_waiting == 0) {
        m_acked = true;
        m_lingerEnd = now + kLinger;
    }
    if (m_acked)
        return m_peerClosed || now >= m_lingerEnd ? State::Ended : State::Waiting;
    if (now >= m_stallEnd) // the count may include our end-of-stream mark
        return fail("the printer acknowledged nothing for " + durationText(m_stallLimit) + ": " +
                        std::to_string(std::min(m_waiting, m_sent)) + " of " +
                        std::to_string(m_sent) + " bytes are unacknowledged",
                    POS_ERR_TIMEOUT);
    return State::Waiting;
}

Clock::time_point DocumentEnd::nextLook() const {
    if (m_acked)
        return m_lingerEnd;
    return std::min(Clock::now() + kAckLook, m_stallEnd);
}

} // namespace posdll
