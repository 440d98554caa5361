// A TCP peer on 127.0.0.1 for tests: it accepts connections one after another and keeps the
// bytes of each until its peer closes. Every wait is bounded.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

using Bytes = std::vector<std::uint8_t>;

// A socket bound to a free loopback port (0 picks one) but, unless told, not listening: a
// connection to it is refused.
class LoopbackSocket {
  public:
    explicit LoopbackSocket(bool listening) {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (m_fd < 0)
            fail("socket");
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        if (::bind(m_fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0)
            fail("bind 127.0.0.1:0");
        socklen_t len = sizeof addr;
        if (::getsockname(m_fd, reinterpret_cast<sockaddr *>(&addr), &len) != 0)
            fail("getsockname");
        m_port = ntohs(addr.sin_port);
        if (listening && ::listen(m_fd, 8) != 0)
            fail("listen");
    }
    ~LoopbackSocket() { ::close(m_fd); }
    LoopbackSocket(const LoopbackSocket &) = delete;
    LoopbackSocket &operator=(const LoopbackSocket &) = delete;

    int fd() const { return m_fd; }
    int port() const { return m_port; }
    // The text the window's IP field takes: "127.0.0.1:PORT".
    std::string address() const { return "127.0.0.1:" + std::to_string(m_port); }

  private:
    [[noreturn]] void fail(const char *what) {
        const std::string why = std::string(what) + ": " + std::strerror(errno);
        if (m_fd >= 0)
            ::close(m_fd);
        throw std::runtime_error(why);
    }

    int m_fd = -1;
    int m_port = 0;
};

class TcpListener {
  public:
    TcpListener() : m_socket(true), m_thread([this] { serve(); }) {}
    ~TcpListener() {
        m_stop = true;
        m_thread.join();
    }
    TcpListener(const TcpListener &) = delete;
    TcpListener &operator=(const TcpListener &) = delete;

    std::string address() const { return m_socket.address(); }

    // The bytes of each connection closed so far, once there are at least count of them or the
    // limit has passed.
    std::vector<Bytes> waitForSessions(std::size_t count,
                                       std::chrono::milliseconds limit = std::chrono::seconds(5)) {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, limit, [&] { return m_sessions.size() >= count; });
        return m_sessions;
    }

  private:
    static constexpr int kPollMs = 20;

    // Waits for fd to be readable, giving up when the listener stops.
    bool readable(int fd) {
        pollfd p{fd, POLLIN, 0};
        while (!m_stop) {
            const int n = ::poll(&p, 1, kPollMs);
            if (n > 0)
                return true;
            if (n < 0 && errno != EINTR)
                return false;
        }
        return false;
    }

    void serve() {
        while (readable(m_socket.fd())) {
            const int conn = ::accept4(m_socket.fd(), nullptr, nullptr, SOCK_CLOEXEC);
            if (conn < 0)
                continue;
            Bytes bytes;
            unsigned char buf[512];
            bool closedByPeer = false;
            while (readable(conn)) {
                const ssize_t n = ::read(conn, buf, sizeof buf);
                if (n <= 0) {
                    closedByPeer = n == 0;
                    break;
                }
                bytes.insert(bytes.end(), buf, buf + n);
            }
            ::close(conn);
            if (!closedByPeer)
                continue;
            {
                const std::lock_guard lock(m_mutex);
                m_sessions.push_back(std::move(bytes));
            }
            m_changed.notify_all();
        }
    }

    LoopbackSocket m_socket;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Bytes> m_sessions;
    std::thread m_thread; // last: starts once everything it uses exists
};

} // namespace testing_support
