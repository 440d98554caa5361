// A printer stand-in for tests: listens on 127.0.0.1 on a free port, takes one connection at a
// time, reads it until the peer closes and keeps the bytes of every finished connection. It never
// answers, so it also serves as a server that accepts and then stays silent. Everything is
// bounded: a connection keeps at most kMaxBytes, and every wait takes a limit.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
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

class TcpListener {
  public:
    static constexpr std::size_t kMaxBytes = 1 << 20;
    using Bytes = std::vector<std::uint8_t>;

    TcpListener() {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr *>(&addr), len) != 0 ||
            ::listen(m_fd, 8) != 0 ||
            ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&addr), &len) != 0 ||
            ::pipe2(m_wake, O_CLOEXEC) != 0) {
            const std::string why = std::strerror(errno);
            if (m_fd >= 0)
                ::close(m_fd);
            throw std::runtime_error("test listener on 127.0.0.1: " + why);
        }
        m_port = ntohs(addr.sin_port);
        m_thread = std::thread([this] { run(); });
    }

    ~TcpListener() {
        const char stop = 1;
        [[maybe_unused]] const ssize_t n = ::write(m_wake[1], &stop, 1);
        m_thread.join();
        ::close(m_wake[0]);
        ::close(m_wake[1]);
        ::close(m_fd);
    }

    TcpListener(const TcpListener &) = delete;
    TcpListener &operator=(const TcpListener &) = delete;

    int port() const { return m_port; }

    // Waits until at least count connections have been closed by their peer.
    bool waitForSessions(std::size_t count, std::chrono::milliseconds limit) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, limit, [&] { return m_sessions.size() >= count; });
    }

    // The bytes of each finished connection, in the order they ended.
    std::vector<Bytes> sessions() const {
        std::lock_guard lock(m_mutex);
        return m_sessions;
    }

    // Connections taken so far, finished or not.
    int accepted() const {
        std::lock_guard lock(m_mutex);
        return m_accepted;
    }

  private:
    // Waits for fd to be readable; false when asked to stop.
    bool readable(int fd) const {
        pollfd fds[2] = {{fd, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        while (::poll(fds, 2, -1) < 0)
            if (errno != EINTR)
                return false;
        return !(fds[1].revents & POLLIN);
    }

    void run() {
        while (readable(m_fd)) {
            const int conn = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (conn < 0)
                continue;
            {
                std::lock_guard lock(m_mutex);
                ++m_accepted;
            }
            Bytes got;
            bool stopped = false;
            for (;;) {
                if (!readable(conn)) {
                    stopped = true;
                    break;
                }
                std::uint8_t buf[4096];
                const ssize_t n = ::read(conn, buf, sizeof buf);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    break; // closed by the peer (or reset)
                const std::size_t room = kMaxBytes - got.size();
                got.insert(got.end(), buf, buf + std::min<std::size_t>(room, std::size_t(n)));
            }
            ::close(conn);
            if (stopped)
                return;
            std::lock_guard lock(m_mutex);
            m_sessions.push_back(std::move(got));
            m_changed.notify_all();
        }
    }

    int m_fd = -1;
    int m_wake[2] = {-1, -1};
    int m_port = 0;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Bytes> m_sessions;
    int m_accepted = 0;
};

} // namespace testing_support
