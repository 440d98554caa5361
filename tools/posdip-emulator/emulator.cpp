#include "emulator.h"

#include "posdll/fd.h"
#include "protocol/frame_decode.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <memory>
#include <netdb.h>
#include <poll.h>
#include <pty.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace emulator {

namespace {

using posdll::Fd;

void say(const std::string &what) {
    std::fprintf(stderr, "posdip-emulator: %s\n", what.c_str());
}

std::string peerName(int fd) {
    sockaddr_storage ss{};
    socklen_t len = sizeof ss;
    char host[NI_MAXHOST];
    char serv[NI_MAXSERV];
    if (::getpeername(fd, reinterpret_cast<sockaddr *>(&ss), &len) != 0 ||
        ::getnameinfo(reinterpret_cast<sockaddr *>(&ss), len, host, sizeof host, serv, sizeof serv,
                      NI_NUMERICHOST | NI_NUMERICSERV) != 0)
        return "?";
    return posdll::formatAddress(host, std::atoi(serv));
}

// Where bytes come from: one TCP connection, or the pseudo-terminal.
struct Source {
    Fd fd;
    std::string name;
    protocol::FrameScanner scanner;
};

class Emulator {
  public:
    explicit Emulator(const Options &o) : m_options(o) {}
    ~Emulator() { removeLink(); }
    Emulator(const Emulator &) = delete;
    Emulator &operator=(const Emulator &) = delete;

    int run() {
        if (!catchSignals() || (m_options.listen && !listen()) || (m_options.ptyLink && !makePty()))
            return 1;
        while (!done()) {
            std::vector<pollfd> fds{{m_signals.get(), POLLIN, 0}};
            if (m_pty)
                fds.push_back({m_pty->fd.get(), POLLIN, 0});
            if (m_listener)
                fds.push_back({m_listener.get(), POLLIN, 0});
            for (const auto &c : m_clients)
                fds.push_back({c->fd.get(), POLLIN, 0});
            if (::poll(fds.data(), fds.size(), -1) < 0) {
                if (errno == EINTR)
                    continue;
                say("poll failed: " + posdll::errnoText(errno));
                return 1;
            }
            std::size_t i = 0;
            if (fds[i++].revents) {
                signalfd_siginfo si{};
                if (::read(m_signals.get(), &si, sizeof si) > 0)
                    say(si.ssi_signo == SIGINT ? "stopping on SIGINT" : "stopping on SIGTERM");
                return 0;
            }
            if (m_pty && fds[i++].revents && !readFrom(*m_pty)) {
                say("the pseudo-terminal failed: " + posdll::errnoText(errno));
                return 1;
            }
            const bool incoming = m_listener && fds[i++].revents;
            serveClients(fds.data() + i);
            if (incoming && !done()) // after the clients: the new one was not polled yet
                acceptOne();
        }
        waitForTerminalClosed();
        return 0;
    }

  private:
    bool done() const { return m_options.count && m_frames >= *m_options.count; }

    bool catchSignals() {
        std::signal(SIGPIPE, SIG_IGN);
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGINT);
        sigaddset(&set, SIGTERM);
        ::sigprocmask(SIG_BLOCK, &set, nullptr);
        m_signals.reset(::signalfd(-1, &set, SFD_CLOEXEC));
        if (!m_signals)
            say("cannot watch for signals: " + posdll::errnoText(errno));
        return bool(m_signals);
    }

    bool listen() {
        const posdll::NetworkAddress &a = *m_options.listen;
        const std::string wanted = posdll::formatAddress(a.host, a.port);
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV | (a.numeric ? AI_NUMERICHOST : 0);
        addrinfo *found = nullptr;
        if (const int s =
                ::getaddrinfo(a.host.c_str(), std::to_string(a.port).c_str(), &hints, &found)) {
            say("cannot listen on " + wanted + ": " + ::gai_strerror(s));
            return false;
        }
        const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> list(found, ::freeaddrinfo);
        m_listener.reset(::socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, 0));
        const int one = 1;
        if (!m_listener ||
            ::setsockopt(m_listener.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0 ||
            ::bind(m_listener.get(), found->ai_addr, found->ai_addrlen) != 0 ||
            ::listen(m_listener.get(), 16) != 0) {
            say("cannot listen on " + wanted + ": " + posdll::errnoText(errno));
            return false;
        }
        sockaddr_storage ss{};
        socklen_t len = sizeof ss;
        char serv[NI_MAXSERV] = "?";
        ::getsockname(m_listener.get(), reinterpret_cast<sockaddr *>(&ss), &len);
        ::getnameinfo(reinterpret_cast<sockaddr *>(&ss), len, nullptr, 0, serv, sizeof serv,
                      NI_NUMERICSERV);
        say("listening on " + posdll::formatAddress(a.host, std::atoi(serv)));
        return true;
    }

    // The terminal stays open on our side too, so the master never sees a hang-up between
    // programs that open the link.
    bool makePty() {
        int master = -1;
        int slave = -1;
        if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
            say("cannot make a pseudo-terminal: " + posdll::errnoText(errno));
            return false;
        }
        m_pty.emplace();
        m_pty->fd.reset(master);
        m_ptySlave.reset(slave);
        termios t;
        if (::tcgetattr(slave, &t) == 0) {
            ::cfmakeraw(&t);
            ::tcsetattr(slave, TCSANOW, &t);
        }
        char path[PATH_MAX];
        if (::ttyname_r(slave, path, sizeof path) != 0) {
            say("cannot name the pseudo-terminal: " + posdll::errnoText(errno));
            return false;
        }
        m_pty->name = path;
        if (::symlink(path, m_options.ptyLink->c_str()) != 0) {
            say("cannot make the link " + *m_options.ptyLink + ": " + posdll::errnoText(errno));
            return false;
        }
        m_linked = true;
        say("pseudo-terminal " + m_pty->name + " linked at " + *m_options.ptyLink);
        return true;
    }

    // A program that has just written the last frame may still be finishing its document on
    // the terminal; closing the master now would hang the line up under it. So our side lets
    // go and the master waits, a bounded time, for the other side to close as well.
    void waitForTerminalClosed() {
        if (!m_pty)
            return;
        m_ptySlave.reset();
        const auto deadline = posdll::Clock::now() + posdll::milliseconds(2000);
        unsigned char buf[4096];
        while (posdll::pollUntil(m_pty->fd.get(), POLLIN, deadline) > 0)
            if (::read(m_pty->fd.get(), buf, sizeof buf) <= 0)
                return; // EIO: nobody holds the terminal any more
    }

    // Only our own link goes, should someone have replaced it meanwhile.
    void removeLink() {
        if (!m_linked)
            return;
        char target[PATH_MAX];
        const ssize_t n = ::readlink(m_options.ptyLink->c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, static_cast<std::size_t>(n)) == m_pty->name)
            ::unlink(m_options.ptyLink->c_str());
    }

    void acceptOne() {
        Fd c(::accept4(m_listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!c) {
            say("accept failed: " + posdll::errnoText(errno));
            return;
        }
        auto s = std::make_unique<Source>();
        s->name = peerName(c.get());
        s->fd = std::move(c);
        say("connection from " + s->name);
        m_clients.push_back(std::move(s));
    }

    // Reads from the clients polled (polled[k] is m_clients[k]) and drops those that ended.
    void serveClients(const pollfd *polled) {
        std::vector<std::unique_ptr<Source>> open;
        for (std::size_t k = 0; k < m_clients.size(); ++k) {
            if (!done() && polled[k].revents && !readFrom(*m_clients[k]))
                say("connection from " + m_clients[k]->name + " closed");
            else
                open.push_back(std::move(m_clients[k]));
        }
        m_clients = std::move(open);
    }

    // Reads what the source has and prints the frames it completes; false at its end.
    bool readFrom(Source &s) {
        unsigned char buf[4096];
        const ssize_t n = ::read(s.fd.get(), buf, sizeof buf);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            return true;
        if (n > 0) {
            for (const protocol::Frame &f : s.scanner.feed(buf, static_cast<std::size_t>(n)))
                print(f);
            return true;
        }
        const int err = errno;
        if (const protocol::Frame rest = s.scanner.finish(); !rest.empty())
            print(rest);
        errno = n < 0 ? err : 0;
        return false;
    }

    void print(const protocol::Frame &f) {
        if (done())
            return;
        const protocol::DecodedFrame d = protocol::decodeFrame(f);
        std::string line = d.description;
        if (m_options.hex && d.kind != protocol::FrameKind::Unknown) // that one shows its bytes
            line += " | " + protocol::toHex(f);
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
        ++m_frames;
    }

    const Options &m_options;
    Fd m_signals;
    Fd m_listener;
    std::optional<Source> m_pty;
    Fd m_ptySlave;
    bool m_linked = false;
    std::vector<std::unique_ptr<Source>> m_clients;
    long m_frames = 0;
};

} // namespace

int run(const Options &options) {
    return Emulator(options).run();
}

} // namespace emulator
