#include "support/cups_fault_proxy.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <strings.h>

namespace testing_support {

namespace {

// Where one HTTP answer ends in the server's stream: after its head when it has no body, else
// after Content-Length bytes or the last chunk. Interim (1xx) answers are not counted.
class AnswerFramer {
  public:
    // Takes one byte; true when it completed an answer.
    bool take(char c) {
        switch (m_phase) {
        case Phase::Head:
            m_text += c;
            if (!m_text.ends_with("\r\n\r\n"))
                return false;
            return headDone();
        case Phase::Body:
            if (--m_left > 0)
                return false;
            m_phase = Phase::Head;
            return true;
        case Phase::ChunkSize:
            m_text += c;
            if (!m_text.ends_with("\r\n"))
                return false;
            m_left = std::strtoul(m_text.c_str(), nullptr, 16);
            m_text.clear();
            m_phase = m_left == 0 ? Phase::Trailer : Phase::ChunkData;
            if (m_left > 0)
                m_left += 2; // the CRLF after the data
            return false;
        case Phase::ChunkData:
            if (--m_left == 0)
                m_phase = Phase::ChunkSize;
            return false;
        case Phase::Trailer:
            m_text += c;
            if (!m_text.ends_with("\r\n"))
                return false;
            if (m_text != "\r\n") {
                m_text.clear();
                return false;
            }
            m_text.clear();
            m_phase = Phase::Head;
            return true;
        }
        return false;
    }

  private:
    enum class Phase { Head, Body, ChunkSize, ChunkData, Trailer };

    bool headDone() {
        const std::string head = std::move(m_text);
        m_text.clear();
        const int status = head.size() > 9 ? std::atoi(head.c_str() + 9) : 0;
        if (status >= 100 && status < 200)
            return false;
        if (const char *length = ::strcasestr(head.c_str(), "\r\ncontent-length:")) {
            m_left = std::strtoul(length + 17, nullptr, 10);
            m_phase = m_left > 0 ? Phase::Body : Phase::Head;
            return m_left == 0;
        }
        if (::strcasestr(head.c_str(), "\r\ntransfer-encoding: chunked")) {
            m_phase = Phase::ChunkSize;
            return false;
        }
        return true;
    }

    Phase m_phase = Phase::Head;
    std::string m_text;
    unsigned long m_left = 0;
};

// The start of every IPP request after its version, operation and request id.
constexpr char kRequestMark[] = "\x01\x47\x00\x12"
                                "attributes-charset";
constexpr std::size_t kMarkSize = sizeof kRequestMark - 1;
constexpr int kSendDocument = 0x0006;

void closeHard(Fd &fd) {
    if (!fd)
        return;
    const linger reset{1, 0}; // close with RST instead of FIN
    ::setsockopt(fd.get(), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    fd.reset();
}

bool writeAll(int fd, const char *p, std::size_t n) {
    while (n > 0) {
        const ssize_t w = ::send(fd, p, n, MSG_NOSIGNAL);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

} // namespace

struct CupsFaultProxy::Link {
    Fd client;
    Fd server; // none for a connection that hangs from the start
    bool stalled = false;
    AnswerFramer framer;
    std::string recent; // the client's last bytes, where a request's start may be split

    // True when the bytes just added hold the start of a Send-Document request.
    bool documentStarts(const char *p, std::size_t n) {
        recent.append(p, n);
        bool found = false;
        for (std::size_t at = recent.find(kRequestMark, 0, kMarkSize); at != std::string::npos;
             at = recent.find(kRequestMark, at + 1, kMarkSize))
            if (at >= 6 && ((static_cast<unsigned char>(recent[at - 6]) << 8) |
                            static_cast<unsigned char>(recent[at - 5])) == kSendDocument)
                found = true;
        if (recent.size() > 2 * kMarkSize)
            recent.erase(0, recent.size() - 2 * kMarkSize);
        return found;
    }
};

CupsFaultProxy::CupsFaultProxy(int serverPort)
    : m_listener(std::in_place, "127.0.0.1", 16), m_serverPort(serverPort) {
    int wake[2] = {-1, -1};
    if (!m_listener->ok() || ::pipe2(wake, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("print server proxy on 127.0.0.1: ") +
                                 std::strerror(errno));
    m_woken.reset(wake[0]);
    m_wake.reset(wake[1]);
    m_address = m_listener->address();
    m_thread = std::thread([this] { run(); });
}

CupsFaultProxy::~CupsFaultProxy() {
    const char stop = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_wake.get(), &stop, 1);
    m_thread.join();
}

std::string CupsFaultProxy::address() const {
    return m_address;
}

void CupsFaultProxy::stallAfter(int answers, Later later) {
    std::lock_guard lock(m_mutex);
    m_stallAt = m_answers + answers;
    m_later = later;
    if (answers == 0)
        strike(false);
}

void CupsFaultProxy::resetAtDocument(Later later) {
    std::lock_guard lock(m_mutex);
    m_resetAtDocument = true;
    m_later = later;
}

void CupsFaultProxy::run() {
    for (;;) {
        std::vector<pollfd> fds = {{m_woken.get(), POLLIN, 0}};
        std::vector<std::pair<Link *, bool>> owners; // per entry after the first two
        {
            std::lock_guard lock(m_mutex);
            // A closed listener (-1) is skipped by poll.
            fds.push_back({m_listener ? m_listener->fd() : -1, POLLIN, 0});
            for (const auto &l : m_links)
                if (!l->stalled) {
                    fds.push_back({l->client.get(), POLLIN, 0});
                    owners.emplace_back(l.get(), true);
                    fds.push_back({l->server.get(), POLLIN, 0});
                    owners.emplace_back(l.get(), false);
                }
        }
        if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR)
            return;
        if (fds[0].revents)
            return;
        std::lock_guard lock(m_mutex);
        if (fds[1].revents)
            accept();
        for (std::size_t i = 0; i < owners.size(); ++i) {
            if (!fds[i + 2].revents)
                continue;
            Link *link = owners[i].first;
            const auto it = std::find_if(m_links.begin(), m_links.end(),
                                         [link](const auto &l) { return l.get() == link; });
            if (it == m_links.end() || link->stalled)
                continue; // gone or stalled by what came before in this round
            if (!pass(*link, owners[i].second))
                m_links.erase(it);
            if (m_struck)
                break; // the links changed under this round
        }
        m_struck = false;
    }
}

void CupsFaultProxy::accept() {
    Fd client(::accept4(m_listener->fd(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!client)
        return;
    auto link = std::make_unique<Link>();
    link->client = std::move(client);
    if (m_hangNew) {
        link->stalled = true; // taken by the kernel, never answered
        m_links.push_back(std::move(link));
        return;
    }
    link->server.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<std::uint16_t>(m_serverPort));
    if (!link->server ||
        ::connect(link->server.get(), reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0)
        return; // the client sees its connection closed
    m_links.push_back(std::move(link));
}

bool CupsFaultProxy::pass(Link &link, bool fromClient) {
    char buf[4096];
    const ssize_t n = ::recv((fromClient ? link.client : link.server).get(), buf, sizeof buf, 0);
    if (n < 0 && errno == EINTR)
        return true;
    if (n <= 0)
        return false;
    const std::size_t got = static_cast<std::size_t>(n);
    if (fromClient) {
        if (m_resetAtDocument && link.documentStarts(buf, got)) {
            strike(true);
            return true;
        }
        return writeAll(link.server.get(), buf, got);
    }
    for (std::size_t i = 0; i < got; ++i) {
        if (!link.framer.take(buf[i]) || ++m_answers != m_stallAt)
            continue;
        const bool sent = writeAll(link.client.get(), buf, i + 1);
        strike(false);
        return sent;
    }
    return writeAll(link.client.get(), buf, got);
}

void CupsFaultProxy::strike(bool reset) {
    m_struck = true;
    // Later connections first, so none slips in while the open ones go.
    switch (m_later) {
    case Later::Pass:
        break;
    case Later::Hang:
        m_hangNew = true;
        break;
    case Later::Refused:
        m_listener.reset();
        break;
    }
    if (reset) {
        for (const auto &l : m_links) {
            closeHard(l->client);
            closeHard(l->server);
        }
        m_links.clear();
        m_resetAtDocument = false;
    } else {
        for (const auto &l : m_links)
            l->stalled = true;
    }
}

} // namespace testing_support
