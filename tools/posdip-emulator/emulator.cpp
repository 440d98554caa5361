#include "emulator.h"

#include "printer.h"
#include "source.h"
#include "state_file.h"

#include "posdll/fd.h"
#include "protocol/frame_decode.h"
#include "protocol/printer_id.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
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

// How long accepting pauses when the process is out of descriptors or memory; a connection
// that ends resumes it sooner.
constexpr posdll::milliseconds kAcceptPause(250);
// What a connection's send buffer holds, before the system doubles it for its bookkeeping.
constexpr int kSendBufferBytes = 4096;
// How often a state that could not be saved is tried again.
constexpr posdll::milliseconds kSaveRetry(1000);
// How long answers still queued may take to go out when the emulator ends.
constexpr posdll::milliseconds kLastAnswersWait(1000);

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

bool outOfResources(int err) {
    return err == EMFILE || err == ENFILE || err == ENOBUFS || err == ENOMEM;
}

PrinterSetup printerSetup(const Options &o, const PrinterState &kept) {
    return {kept, o.condition, o.identity, o.fault == Fault::Silent, o.hex};
}

class Emulator {
  public:
    explicit Emulator(const Options &o) : m_options(o), m_printer(printerSetup(o, {})) {}
    ~Emulator() { removeLink(); }
    Emulator(const Emulator &) = delete;
    Emulator &operator=(const Emulator &) = delete;

    int run() {
        if (!catchSignals() || !loadState() || (m_options.listen && !listen()) ||
            (m_options.ptyLink && !makePty()))
            return 1;
        while (!done()) {
            const bool accepting = m_listener && !m_acceptPaused;
            std::vector<pollfd> fds{{m_signals.get(), POLLIN, 0}};
            if (m_pty)
                fds.push_back({m_pty->fd.get(), m_pty->events(), 0});
            fds.push_back({accepting ? m_listener.get() : -1, POLLIN, 0});
            for (const auto &c : m_clients)
                fds.push_back({c->fd.get(), c->events(), 0});
            const int timeout = pollTimeout();
            if (::poll(fds.data(), fds.size(), timeout) < 0) {
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
            if (m_pty && fds[i++].revents && !(readFrom(*m_pty) && flush(*m_pty))) {
                say("the pseudo-terminal failed: " + posdll::errnoText(errno));
                return 1;
            }
            const bool incoming = fds[i++].revents;
            serveClients(fds.data() + i);
            if (m_acceptPaused && posdll::Clock::now() >= *m_acceptPaused)
                m_acceptPaused.reset();
            if (m_saveRetry && posdll::Clock::now() >= *m_saveRetry)
                save();
            if (incoming && !done()) // after the clients: the new one was not polled yet
                acceptOne();
        }
        sendWhatIsLeft();
        waitForTerminalClosed();
        return 0;
    }

  private:
    bool done() const { return m_options.count && m_frames >= *m_options.count; }

    // Until the first of the timed things to do: resume accepting, try saving again.
    int pollTimeout() const {
        int timeout = -1;
        for (const auto &when : {m_acceptPaused, m_saveRetry})
            if (when) {
                const int left = posdll::millisecondsLeft(*when);
                timeout = timeout < 0 ? left : std::min(timeout, left);
            }
        return timeout;
    }

    bool loadState() {
        if (!m_options.stateFile)
            return true;
        std::string why;
        m_stateFile = StateFile::open(*m_options.stateFile, &why);
        if (!m_stateFile) {
            say(why);
            return false;
        }
        m_printer = Printer(printerSetup(m_options, m_stateFile->kept()));
        return true;
    }

    // Saves the printer's state; while it cannot, the printer is off-line and it is tried again
    // every so often. Said when it starts and stops failing.
    void save() {
        std::string why;
        const bool saved = m_stateFile->save(m_printer.state(), &why);
        if (!saved && !m_saveRetry)
            say(why + "; off-line until it is saved");
        if (saved && m_saveRetry)
            say("state file " + *m_options.stateFile + " saved; on-line again");
        m_saveRetry.reset();
        if (!saved)
            m_saveRetry = posdll::Clock::now() + kSaveRetry;
        const auto before = protocol::encodeAutomaticStatus(m_printer.condition());
        m_printer.setUnsaved(!saved);
        if (protocol::encodeAutomaticStatus(m_printer.condition()) != before)
            conditionChanged();
    }

    // As a printer with automatic status on, it tells every line of the change.
    void conditionChanged() {
        for (const auto &c : m_clients)
            sendAutomaticStatus(*c);
        if (m_pty && sendAutomaticStatus(*m_pty) && !flush(*m_pty))
            say("the pseudo-terminal failed: " + posdll::errnoText(errno));
    }

    // Queues the automatic status block when it is on; whether it did.
    bool sendAutomaticStatus(Source &s) {
        if (!m_options.asb || s.stalled)
            return false;
        const auto block = protocol::encodeAutomaticStatus(m_printer.condition());
        s.unsent.insert(s.unsent.end(), block.begin(), block.end());
        return true;
    }

    bool catchSignals() {
        std::signal(SIGPIPE, SIG_IGN);
        // A state file past the file size limit is a failed save (EFBIG), not the end.
        std::signal(SIGXFSZ, SIG_IGN);
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
            !smallReceiveBufferWhenStalling() ||
            ::bind(m_listener.get(), found->ai_addr, found->ai_addrlen) != 0 ||
            // A batch connects to it all at once: a short queue would overflow into SYN cookies,
            // and the kernel resets connections whose frames were already sent.
            ::listen(m_listener.get(), SOMAXCONN) != 0) {
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

    // A stalled printer's buffer fills soon, as a real one's does; connections inherit it.
    bool smallReceiveBufferWhenStalling() {
        const int smallest = 1; // the system raises it to its minimum
        return m_options.fault != Fault::Stall ||
               ::setsockopt(m_listener.get(), SOL_SOCKET, SO_RCVBUF, &smallest, sizeof smallest) ==
                   0;
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
        m_pty->kind = posdll::FdKind::Device;
        m_ptySlave.reset(slave);
        // Non-blocking, so an answer nobody reads cannot hold the emulator up.
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
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
            // The connection stays queued and the listener readable: wait instead of spinning.
            if (outOfResources(errno)) {
                m_acceptPaused = posdll::Clock::now() + kAcceptPause;
                if (!m_starved)
                    say("accept failed: " + posdll::errnoText(errno) +
                        "; new connections wait until one ends");
                m_starved = true;
            } else {
                say("accept failed: " + posdll::errnoText(errno));
            }
            return;
        }
        if (m_starved)
            say("accepting connections again");
        m_starved = false;
        // A printer's own buffer for what it sends is small: the line of a sender that never
        // reads fills soon, instead of growing to megabytes of answers.
        const int sendBuffer = kSendBufferBytes;
        ::setsockopt(c.get(), SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
        auto s = std::make_unique<Source>();
        s->name = peerName(c.get());
        s->fd = std::move(c);
        say("connection from " + s->name);
        switch (m_options.fault) {
        case Fault::Close:
            say("connection from " + s->name + " closed at once (fault close)");
            return;
        case Fault::Stall:
            s->stalled = true;
            break;
        case Fault::None:
        case Fault::Reset:
        case Fault::KeepOpen:
        case Fault::Silent:
            sendAutomaticStatus(*s); // written when the connection is next served
            break;
        }
        m_clients.push_back(std::move(s));
    }

    // Serves the clients polled (polled[k] is m_clients[k]) and drops those that ended.
    void serveClients(const pollfd *polled) {
        std::vector<std::unique_ptr<Source>> open;
        for (std::size_t k = 0; k < m_clients.size(); ++k) {
            Source &c = *m_clients[k];
            if (done() || !polled[k].revents || serve(c, polled[k].revents))
                open.push_back(std::move(m_clients[k]));
            else
                m_acceptPaused.reset(); // a descriptor is free again
        }
        m_clients = std::move(open);
    }

    // Serves one client that is ready; false when its connection is done with.
    bool serve(Source &c, short revents) {
        if (c.stalled) {
            say("connection from " + c.name + " ended unread (fault stall)");
            return false;
        }
        if (c.mayRead() && (revents & (POLLIN | POLLHUP | POLLERR))) {
            if (m_options.fault == Fault::Reset)
                return resetAfterFirstByte(c);
            if (!readFrom(c)) {
                if (errno != 0) {
                    say("connection from " + c.name + " closed");
                    return false;
                }
                c.ended = true;
            }
        }
        if (!flush(c)) {
            say("cannot answer " + c.name + ": " + posdll::errnoText(errno));
            return false;
        }
        if (!c.ended || !c.unsent.empty())
            return true;
        if (m_options.fault == Fault::KeepOpen) {
            say("connection from " + c.name + " ended by the sender; kept open (fault keep-open)");
            m_keptOpen.push_back(std::move(c.fd));
            return false;
        }
        say("connection from " + c.name + " closed");
        return false;
    }

    // Writes what the line takes of the answers waiting for it; false with errno when it fails.
    bool flush(Source &s) {
        std::size_t dropped = 0;
        const int err = s.flush(&dropped);
        if (dropped)
            say("nobody reads the answers on " + s.name + "; " + std::to_string(dropped) +
                " bytes dropped");
        errno = err;
        return err == 0;
    }

    // Answers still queued when the emulator ends get a bounded time to go out.
    void sendWhatIsLeft() {
        const auto deadline = posdll::Clock::now() + kLastAnswersWait;
        for (const auto &c : m_clients)
            if (!c->unsent.empty())
                posdll::writeAll(c->fd.get(), c->kind, c->unsent.data(),
                                 static_cast<int>(c->unsent.size()),
                                 posdll::milliseconds(posdll::millisecondsLeft(deadline)));
    }

    // Closing with a zero linger time sends a reset instead of an orderly end.
    bool resetAfterFirstByte(Source &c) {
        unsigned char first;
        const ssize_t n = ::read(c.fd.get(), &first, 1);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            return true;
        const linger abort{1, 0};
        ::setsockopt(c.fd.get(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        say("connection from " + c.name +
            (n > 0 ? " reset after its first byte (fault reset)" : " closed"));
        return false;
    }

    // Reads what the source has and serves the frames it completes; false at its end, with
    // errno 0 for an orderly end.
    bool readFrom(Source &s) {
        unsigned char buf[4096];
        const ssize_t n = ::read(s.fd.get(), buf, sizeof buf);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            return true;
        if (n > 0) {
            for (const protocol::Frame &f : s.scanner.feed(buf, static_cast<std::size_t>(n)))
                take(s, f);
            return true;
        }
        const int err = errno;
        if (const protocol::Frame rest = s.scanner.finish(); !rest.empty())
            take(s, rest);
        errno = n < 0 ? err : 0;
        return false;
    }

    void take(Source &s, const protocol::Frame &f) {
        if (done())
            return;
        const Reply r = m_printer.take(f);
        // Written once the whole read is served.
        s.unsent.insert(s.unsent.end(), r.answer.begin(), r.answer.end());
        // Stored before it is told, so whoever reads the line finds the file written.
        if (r.stateChanged && m_stateFile)
            save();
        for (const std::string &line : r.lines)
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
    std::vector<Fd> m_keptOpen; // ended by their senders, held until the emulator ends
    std::optional<posdll::Clock::time_point> m_acceptPaused;
    std::optional<StateFile> m_stateFile;
    std::optional<posdll::Clock::time_point> m_saveRetry; // set while the state is not saved
    bool m_starved = false; // the last accept ran out of descriptors or memory
    Printer m_printer;
    long m_frames = 0;
};

} // namespace

int run(const Options &options) {
    return Emulator(options).run();
}

} // namespace emulator
