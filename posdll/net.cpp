// Network printers: a TCP connection to the raw printing port (9100 unless told otherwise).
#include "posdll/document_end.h"
#include "posdll/fd.h"
#include "posdll/name_lookup.h"
#include "posdll/port_names.h"
#include "posdll/printer_address.h"
#include "posdll/quoted.h"
#include "posdll/transport.h"

#include <algorithm>
#include <cerrno>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <vector>

namespace posdll {

namespace {

// connectWait() bounds the name lookup and all connection attempts; writeWait() how long the
// printer may take no bytes, and at the end acknowledge none (document_end.h).

constexpr std::size_t kMaxLookups = 64; // outstanding name lookups, given-up ones included
constexpr milliseconds kSlice{100};     // how often a wait looks at the printer's progress

std::string addressText(const sockaddr *sa) {
    char host[NI_MAXHOST];
    char serv[NI_MAXSERV];
    if (::getnameinfo(sa, sa->sa_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in),
                      host, sizeof host, serv, sizeof serv, NI_NUMERICHOST | NI_NUMERICSERV) != 0)
        return "?";
    return formatAddress(host, std::stoi(serv));
}

NameLookups &nameLookups() {
    static NameLookups lookups(::getaddrinfo, kMaxLookups);
    return lookups;
}

AddrList resolve(const NetworkAddress &a, Clock::time_point deadline, std::string *why,
                 ErrorKind *kind, int *err) {
    *kind = POS_ERR_MISSING;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    // No AI_ADDRCONFIG: with only loopback up it would find nothing for "localhost".
    hints.ai_flags = AI_NUMERICSERV | (a.numeric ? AI_NUMERICHOST : 0);
    const std::string service = std::to_string(a.port);
    if (a.numeric) { // no lookup: the text is the address
        addrinfo *found = nullptr;
        const int status = ::getaddrinfo(a.host.c_str(), service.c_str(), &hints, &found);
        if (status == 0)
            return AddrList(found, ::freeaddrinfo);
        *err = status == EAI_SYSTEM ? errno : 0;
        *why = lookupErrorText(status, *err);
        return AddrList(nullptr, ::freeaddrinfo);
    }
    LookupResult r = nameLookups().lookup(a.host, service, hints, deadline);
    switch (r.outcome) {
    case LookupOutcome::Found:
        return std::move(r.found);
    case LookupOutcome::Failed:
        *why = "the name lookup failed: " + r.reason;
        *err = r.err;
        break;
    case LookupOutcome::NoAnswer:
        *why = "the name lookup gave no answer within " + durationText(connectWait());
        *kind = POS_ERR_TIMEOUT;
        break;
    case LookupOutcome::Busy:
        *kind = POS_ERR_TIMEOUT;
        *why = "the name lookup could not start within " + durationText(connectWait()) + ": " +
               r.reason + "; give the printer's IP address instead";
        break;
    }
    return AddrList(nullptr, ::freeaddrinfo);
}

constexpr int kNoAnswer = -1;

// One non-blocking connection attempt, given up at the deadline: 0, an errno, or kNoAnswer.
int connectTo(const addrinfo *ai, Clock::time_point deadline, Fd &out) {
    Fd fd(::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol));
    if (!fd)
        return errno;
    if (::connect(fd.get(), ai->ai_addr, ai->ai_addrlen) != 0) {
        if (errno != EINPROGRESS)
            return errno;
        const int ready = pollUntil(fd.get(), POLLOUT, deadline);
        if (ready == 0)
            return kNoAnswer;
        if (ready < 0)
            return errno;
        int err = 0;
        socklen_t len = sizeof err;
        if (::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &err, &len) != 0)
            return errno;
        if (err != 0)
            return err;
    }
    const int one = 1; // a frame is small: send it at once
    ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    out = std::move(fd);
    return 0;
}

// A time limit for the printer, started again whenever it makes progress.
class StallTimer {
  public:
    explicit StallTimer(milliseconds limit) : m_limit(limit), m_end(Clock::now() + limit) {}
    void restart() { m_end = Clock::now() + m_limit; }
    bool expired() const { return Clock::now() >= m_end; }
    // The end of the next short wait, after which the progress is looked at again.
    Clock::time_point nextLook() const { return std::min(Clock::now() + kSlice, m_end); }

  private:
    milliseconds m_limit;
    Clock::time_point m_end;
};

class NetworkPort final : public Transport {
  public:
    NetworkPort(Fd fd, std::string label) : m_fd(std::move(fd)), m_label(std::move(label)) {}

    int write(const unsigned char *bytes, int count) override {
        if (m_ended)
            return failed("the document was already ended on this connection");
        // A printer that has already closed or reset its side would lose the bytes.
        if (const int err = peerGone())
            return failed((err == EPIPE ? std::string("the printer closed the connection")
                                        : connectionReasonOf(err)) +
                              (m_sent == 0 ? " before the first byte (0 of " +
                                                 std::to_string(count) + " bytes)"
                                           : " " + sentText()),
                          errorKindOf(err), err);
        const WriteProgress p = sendAll(bytes, count);
        if (p.complete(count))
            return count;
        m_writeFailed = true;
        if (p.stalled)
            return failed("the printer took no bytes for " + durationText(writeWait()) + " " +
                              progressText(p, count),
                          POS_ERR_TIMEOUT);
        return failed(connectionReasonOf(p.error) + " " + progressText(p, count),
                      errorKindOf(p.error), p.error);
    }

    bool endDoc() override {
        if (m_ended)
            return true;
        if (!beginEnd())
            return false;
        DocumentEnd end(m_fd.get(), m_label, m_sent, writeWait());
        for (;;) {
            switch (end.look()) {
            case DocumentEnd::State::Ended:
                return true;
            case DocumentEnd::State::Failed:
                return false;
            case DocumentEnd::State::Waiting:
                break;
            }
            if (end.wantsInput())
                pollUntil(m_fd.get(), POLLIN, end.nextLook()); // whatever it says, look again
            else
                ::poll(nullptr, 0, millisecondsLeft(end.nextLook()));
        }
    }

    std::unique_ptr<POS_PendingEnd> endDocLater(bool &ok) override {
        ok = m_ended;
        if (m_ended || !(ok = beginEnd()))
            return nullptr;
        const int fd = m_fd.get();
        return std::make_unique<POS_PendingEnd>(
            POS_PendingEnd{std::move(m_fd), DocumentEnd(fd, m_label, m_sent, writeWait())});
    }

    int read(unsigned char *bytes, int count, milliseconds wait) override {
        const int got = readSome(m_fd.get(), bytes, count, Clock::now() + wait);
        if (got == kEndOfStream)
            return failed("the printer closed the connection without answering", POS_ERR_CLOSED);
        if (got < 0) {
            const int err = errno;
            return failed(connectionReasonOf(err) + " while waiting for an answer",
                          errorKindOf(err), err);
        }
        return got;
    }

    // A printer that reset or closed the connection is found out by the next write or read.
    bool discardInput() override {
        drainInput(m_fd.get());
        return true;
    }

    bool close() override { return closeConnection(m_fd, m_label); }

  private:
    // Marks the document ended and shuts our sending side; false after recording why the
    // document cannot end well.
    bool beginEnd() {
        m_ended = true;
        if (m_writeFailed)
            return fail("the document is incomplete: a write failed " + sentText());
        if (::shutdown(m_fd.get(), SHUT_WR) != 0) {
            const int err = errno == ENOTCONN ? ECONNRESET : errno;
            return fail(connectionReasonOf(err) + " " + sentText(), errorKindOf(err), err);
        }
        return true;
    }

    bool fail(const std::string &reason, ErrorKind kind = POS_ERR_INTERNAL, int err = 0) const {
        setLastError(m_label + ": " + reason, kind, err);
        return false;
    }
    int failed(const std::string &reason, ErrorKind kind = POS_ERR_INTERNAL, int err = 0) const {
        fail(reason, kind, err);
        return -1;
    }
    std::string sentText() const { return "after " + std::to_string(m_sent) + " bytes were sent"; }

    // Sends all bytes. The socket buffer frees room only in large steps, so the printer's pace
    // is read from its acknowledgements: it counts as stalled only when for writeWait() it
    // neither acknowledged a byte nor did the system take one.
    WriteProgress sendAll(const unsigned char *bytes, int count) {
        WriteProgress p;
        StallTimer stall(writeWait());
        long long acked = m_sent - unacknowledged(m_fd.get(), m_sent);
        bool hungUp = false;
        while (p.written < count) {
            const auto left = static_cast<std::size_t>(count - p.written);
            const ssize_t n =
                ::send(m_fd.get(), bytes + p.written, left, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                p.written += static_cast<int>(n);
                m_sent += n;
                stall.restart();
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                p.error = errno;
                return p;
            }
            if (hungUp) { // the printer hung up and the send says nothing more
                p.error = EPIPE;
                return p;
            }
            if (stall.expired()) {
                p.stalled = true;
                return p;
            }
            const int ready = pollUntil(m_fd.get(), POLLOUT, stall.nextLook());
            if (ready < 0) {
                p.error = errno;
                return p;
            }
            hungUp = ready != 0 && !(ready & POLLOUT);
            if (const long long now = m_sent - unacknowledged(m_fd.get(), m_sent); now > acked) {
                acked = now;
                stall.restart();
            }
        }
        return p;
    }

    // EPIPE when the printer has shut its side, ECONNRESET etc. when it reset, 0 when open.
    int peerGone() const {
        if (const int err = socketError(m_fd.get()))
            return err;
        char c;
        const ssize_t n = ::recv(m_fd.get(), &c, 1, MSG_PEEK | MSG_DONTWAIT);
        if (n == 0)
            return EPIPE;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return errno;
        return 0;
    }

    Fd m_fd;
    std::string m_label;
    long long m_sent = 0;
    bool m_ended = false;
    bool m_writeFailed = false; // the document is missing bytes
};

} // namespace

std::unique_ptr<Transport> openNetwork(const std::string &address) {
    std::string why;
    const auto a = parseNetworkAddress(address, &why);
    if (!a) {
        setLastError("network printer " + quoted(address) + ": " + why, POS_ERR_BAD_ARGUMENT);
        return nullptr;
    }
    // A host name is the user's text; a numeric address is rebuilt from its numbers.
    const std::string shown = formatAddress(a->host, a->port);
    const std::string label = "network printer " + (a->numeric ? shown : quoted(shown));
    const auto deadline = Clock::now() + connectWait();
    ErrorKind kind = POS_ERR_INTERNAL;
    int lastErr = 0; // the system's error behind `kind`
    const AddrList list = resolve(*a, deadline, &why, &kind, &lastErr);
    if (!list) {
        setLastError(label + ": " + why, kind, lastErr);
        return nullptr;
    }
    // Nothing is sent to an address that cannot be a printer's.
    std::vector<const addrinfo *> candidates;
    std::vector<std::string> failures;
    for (const addrinfo *ai = list.get(); ai; ai = ai->ai_next) {
        if (const auto refused = notAPrinter(ai->ai_addr)) {
            failures.push_back("not a printer's address: " + *refused);
            kind = POS_ERR_BAD_ARGUMENT;
        } else
            candidates.push_back(ai);
    }

    // Each address gets an equal share of the time left, so one that never answers does not
    // starve the others.
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const auto left = deadline - Clock::now();
        const auto share = left / static_cast<long>(candidates.size() - i);
        Fd fd;
        const int err = connectTo(candidates[i], Clock::now() + share, fd);
        if (err == 0)
            return std::make_unique<NetworkPort>(std::move(fd), label);
        kind = err == kNoAnswer ? POS_ERR_TIMEOUT : errorKindOf(err);
        lastErr = err == kNoAnswer ? 0 : err;
        if (candidates.size() == 1 && failures.empty()) {
            failures.push_back(err == kNoAnswer ? "no answer within " + durationText(connectWait())
                                                : connectionReasonOf(err));
        } else {
            failures.push_back(addressText(candidates[i]->ai_addr) + " " +
                               (err == kNoAnswer ? "no answer" : connectionReasonOf(err)));
        }
    }
    std::string all;
    for (const std::string &f : failures)
        all += (all.empty() ? "" : "; ") + f;
    setLastError(label + ": " + (all.empty() ? "the name has no address" : all),
                 all.empty() ? POS_ERR_MISSING : kind, all.empty() ? 0 : lastErr);
    return nullptr;
}

} // namespace posdll
