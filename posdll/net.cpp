// Network printers: a TCP connection to the raw printing port (9100 unless told otherwise).
#include "posdll/fd.h"
#include "posdll/port_names.h"
#include "posdll/quoted.h"
#include "posdll/transport.h"

#include <cerrno>
#include <condition_variable>
#include <linux/sockios.h>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <thread>
#include <vector>

namespace posdll {

namespace {

constexpr milliseconds kConnectWait{3000}; // the name lookup, then all connection attempts
constexpr milliseconds kWriteWait{5000};   // for the printer to take more bytes
constexpr milliseconds kAckWait{5000};     // at the end, for the printer to acknowledge them all
constexpr milliseconds kLinger{500};       // then for it to close or reset the connection

using AddrList = std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)>;

std::string reasonOf(int err) {
    switch (err) {
    case ECONNREFUSED:
        return "connection refused";
    case ECONNRESET:
        return "the printer reset the connection";
    case EPIPE:
        return "the printer closed the connection (broken pipe)";
    default:
        return errnoText(err);
    }
}

std::string addressText(const sockaddr *sa) {
    char host[NI_MAXHOST];
    char serv[NI_MAXSERV];
    if (::getnameinfo(sa, sa->sa_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in),
                      host, sizeof host, serv, sizeof serv, NI_NUMERICHOST | NI_NUMERICSERV) != 0)
        return "?";
    return formatAddress(host, std::stoi(serv));
}

// A name lookup can take as long as the resolver likes, so it runs on a thread of its own and
// is given up at the deadline; the thread then frees what it finds by itself.
struct Lookup {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    bool abandoned = false;
    int status = 0;
    addrinfo *result = nullptr;
};

AddrList resolve(const NetworkAddress &a, Clock::time_point deadline, std::string *why) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    // No AI_ADDRCONFIG: with only loopback up it would find nothing for "localhost".
    hints.ai_flags = AI_NUMERICSERV | (a.numeric ? AI_NUMERICHOST : 0);
    const std::string service = std::to_string(a.port);
    addrinfo *found = nullptr;
    int status = 0;
    if (a.numeric) { // no lookup: the text is the address
        status = ::getaddrinfo(a.host.c_str(), service.c_str(), &hints, &found);
    } else {
        auto lookup = std::make_shared<Lookup>();
        std::thread([lookup, host = a.host, service, hints] {
            addrinfo *r = nullptr;
            const int s = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &r);
            std::lock_guard lock(lookup->mutex);
            if (lookup->abandoned) {
                if (s == 0)
                    ::freeaddrinfo(r);
                return;
            }
            lookup->status = s;
            lookup->result = r;
            lookup->finished = true;
            lookup->done.notify_all();
        }).detach();
        std::unique_lock lock(lookup->mutex);
        if (!lookup->done.wait_until(lock, deadline, [&] { return lookup->finished; })) {
            lookup->abandoned = true;
            *why = "the name lookup gave no answer within " + durationText(kConnectWait);
            return AddrList(nullptr, ::freeaddrinfo);
        }
        status = lookup->status;
        found = lookup->result;
    }
    if (status != 0) {
        *why = status == EAI_SYSTEM ? errnoText(errno) : ::gai_strerror(status);
        if (!a.numeric)
            *why = "the name lookup failed: " + *why;
        return AddrList(nullptr, ::freeaddrinfo);
    }
    return AddrList(found, ::freeaddrinfo);
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

class NetworkPort final : public Transport {
  public:
    NetworkPort(Fd fd, std::string label) : m_fd(std::move(fd)), m_label(std::move(label)) {}

    int write(const unsigned char *bytes, int count) override {
        if (m_ended)
            return failed("the document was already ended on this connection");
        // A printer that has already closed or reset its side would lose the bytes.
        if (const int err = peerGone())
            return failed(
                (err == EPIPE ? std::string("the printer closed the connection") : reasonOf(err)) +
                (m_sent == 0 ? " before the first byte (0 of " + std::to_string(count) + " bytes)"
                             : " " + sentText()));
        const WriteProgress p = writeAll(m_fd.get(), FdKind::Socket, bytes, count, kWriteWait);
        m_sent += p.written;
        if (p.complete(count))
            return count;
        if (p.stalled)
            return failed("the printer took no bytes for " + durationText(kWriteWait) + " " +
                          progressText(p, count));
        return failed(reasonOf(p.error) + " " + progressText(p, count));
    }

    // Success only once the printer's side has acknowledged every byte and has neither reset
    // the connection nor shut it before the bytes arrived.
    bool endDoc() override {
        if (m_ended)
            return true;
        m_ended = true;
        if (::shutdown(m_fd.get(), SHUT_WR) != 0)
            return fail(reasonOf(errno == ENOTCONN ? ECONNRESET : errno) + " " + sentText());
        const auto ackDeadline = Clock::now() + kAckWait;
        Clock::time_point lingerEnd{};
        bool acked = false;
        bool peerClosed = false;
        for (;;) {
            if (const int err = socketError())
                return fail(reasonOf(err) + " " + sentText());
            if (!acked && unacknowledged() == 0) {
                acked = true;
                lingerEnd = Clock::now() + kLinger;
            }
            if (acked && (peerClosed || Clock::now() >= lingerEnd))
                return true;
            if (!acked && Clock::now() >= ackDeadline)
                return fail("the printer did not acknowledge " + std::to_string(unacknowledged()) +
                            " of " + std::to_string(m_sent) + " bytes within " +
                            durationText(kAckWait));
            if (peerClosed) {
                ::poll(nullptr, 0, 10);
                continue;
            }
            if (pollUntil(m_fd.get(), POLLIN, Clock::now() + milliseconds(10)) > 0) {
                const int r = drainInput();
                if (r == 0)
                    peerClosed = true;
                else if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
                    return fail(reasonOf(errno) + " " + sentText());
            }
        }
    }

    int read(unsigned char *bytes, int count, milliseconds wait) override {
        const int got = readSome(m_fd.get(), bytes, count, Clock::now() + wait);
        if (got == kEndOfStream)
            return fail("the printer closed the connection without answering", POS_ERR_CLOSED),
                   -1;
        if (got < 0) {
            const int err = errno;
            return fail(reasonOf(err) + " while waiting for an answer", errorKindOf(err)), -1;
        }
        return got;
    }

    bool close() override {
        drainInput(); // unread input would make close() reset the connection
        const int err = m_fd.reset();
        return err == 0 || fail("closing the connection failed: " + errnoText(err));
    }

  private:
    bool fail(const std::string &reason, ErrorKind kind = POS_ERR_INTERNAL) const {
        setLastError(m_label + ": " + reason, kind);
        return false;
    }
    int failed(const std::string &reason) const {
        fail(reason);
        return -1;
    }
    std::string sentText() const { return "after " + std::to_string(m_sent) + " bytes were sent"; }

    int socketError() const {
        int err = 0;
        socklen_t len = sizeof err;
        return ::getsockopt(m_fd.get(), SOL_SOCKET, SO_ERROR, &err, &len) == 0 ? err : errno;
    }

    // Bytes sent but not yet acknowledged by the printer's side.
    int unacknowledged() const {
        int n = 0;
        return ::ioctl(m_fd.get(), SIOCOUTQ, &n) == 0 ? n : m_sent;
    }

    // EPIPE when the printer has shut its side, ECONNRESET etc. when it reset, 0 when open.
    int peerGone() const {
        if (const int err = socketError())
            return err;
        char c;
        const ssize_t n = ::recv(m_fd.get(), &c, 1, MSG_PEEK | MSG_DONTWAIT);
        if (n == 0)
            return EPIPE;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return errno;
        return 0;
    }

    // Reads and drops what the printer sent; 0 at its end of stream, -1 with errno, else > 0.
    int drainInput() const {
        char buf[512];
        ssize_t n = 0;
        int total = 0;
        while (total < (1 << 16) && (n = ::recv(m_fd.get(), buf, sizeof buf, MSG_DONTWAIT)) > 0)
            total += static_cast<int>(n);
        if (n == 0)
            return 0;
        return total > 0 ? total : -1;
    }

    Fd m_fd;
    std::string m_label;
    int m_sent = 0;
    bool m_ended = false;
};

} // namespace

std::unique_ptr<Transport> openNetwork(const std::string &address) {
    std::string why;
    const auto a = parseNetworkAddress(address, &why);
    if (!a) {
        setLastError("network printer " + quoted(address) + ": " + why);
        return nullptr;
    }
    const std::string label = "network printer " + formatAddress(a->host, a->port);
    const auto deadline = Clock::now() + kConnectWait;
    const AddrList list = resolve(*a, deadline, &why);
    if (!list) {
        setLastError(label + ": " + why);
        return nullptr;
    }
    std::vector<const addrinfo *> candidates;
    for (const addrinfo *ai = list.get(); ai; ai = ai->ai_next)
        candidates.push_back(ai);

    // Each address gets an equal share of the time left, so one that never answers does not
    // starve the others.
    std::vector<std::string> failures;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const auto left = deadline - Clock::now();
        const auto share = left / static_cast<long>(candidates.size() - i);
        Fd fd;
        const int err = connectTo(candidates[i], Clock::now() + share, fd);
        if (err == 0)
            return std::make_unique<NetworkPort>(std::move(fd), label);
        if (candidates.size() == 1) {
            failures.push_back(err == kNoAnswer ? "no answer within " + durationText(kConnectWait)
                                                : reasonOf(err));
        } else {
            failures.push_back(addressText(candidates[i]->ai_addr) + " " +
                               (err == kNoAnswer ? "no answer" : reasonOf(err)));
        }
    }
    std::string all;
    for (const std::string &f : failures)
        all += (all.empty() ? "" : "; ") + f;
    setLastError(label + ": " + (all.empty() ? "the name has no address" : all));
    return nullptr;
}

} // namespace posdll
