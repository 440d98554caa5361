// A TCP listener on 127.0.0.1 with a free port, for tests that send to a real socket. It
// records the bytes of every connection; in NeverAccept mode it keeps its backlog full and
// accepts nothing, so a new connection attempt gets no answer at all.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

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

class LoopbackListener {
public:
    enum class Mode { Accept, NeverAccept };

    explicit LoopbackListener(Mode mode = Mode::Accept) {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (m_fd < 0)
            throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(m_fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 ||
            ::listen(m_fd, mode == Mode::NeverAccept ? 0 : 128) != 0 ||
            ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&a), &len) != 0)
            throw std::runtime_error(std::string("listen on 127.0.0.1: ") + std::strerror(errno));
        m_port = ntohs(a.sin_port);
        if (mode == Mode::NeverAccept) {
            fillBacklog();
            return;
        }
        if (::pipe2(m_wake, O_CLOEXEC) != 0)
            throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
        m_thread = std::thread([this] { loop(); });
    }

    ~LoopbackListener() {
        if (m_thread.joinable()) {
            const char c = 'x';
            (void)!::write(m_wake[1], &c, 1);
            m_thread.join();
            ::close(m_wake[0]);
            ::close(m_wake[1]);
        }
        for (int fd : m_fillers)
            ::close(fd);
        ::close(m_fd);
    }

    LoopbackListener(const LoopbackListener &) = delete;
    LoopbackListener &operator=(const LoopbackListener &) = delete;

    int port() const { return m_port; }
    std::string address() const { return "127.0.0.1:" + std::to_string(m_port); }

    // Waits up to `limit` until `count` connections have ended; returns the bytes of each
    // ended connection, in the order they ended.
    std::vector<std::vector<std::uint8_t>> waitForClosed(std::size_t count,
                                                         std::chrono::milliseconds limit) {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, limit, [&] { return m_closed.size() >= count; });
        return m_closed;
    }

private:
    // A listener with backlog 0 takes one connection into its queue; after that, the kernel
    // drops every new SYN, so a client waits until its own timeout.
    void fillBacklog() {
        for (int i = 0; i < 4; ++i) {
            const int c = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            a.sin_port = htons(static_cast<std::uint16_t>(m_port));
            m_fillers.push_back(c);
            if (::connect(c, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0)
                continue;
            pollfd p{c, POLLOUT, 0};
            if (::poll(&p, 1, 200) != 1)
                return; // this one hangs: the queue is full
        }
    }

    void loop() {
        std::vector<int> conns;
        std::vector<std::vector<std::uint8_t>> data;
        for (;;) {
            std::vector<pollfd> fds{{m_wake[0], POLLIN, 0}, {m_fd, POLLIN, 0}};
            for (int c : conns)
                fds.push_back({c, POLLIN, 0});
            if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR)
                break;
            if (fds[0].revents)
                break;
            if (fds[1].revents & POLLIN) {
                const int c = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
                if (c >= 0) {
                    conns.push_back(c);
                    data.emplace_back();
                }
            }
            for (std::size_t i = fds.size(); i-- > 2;) {
                if (!fds[i].revents)
                    continue;
                const std::size_t k = i - 2;
                std::uint8_t buf[4096];
                const ssize_t n = ::read(conns[k], buf, sizeof buf);
                if (n > 0) {
                    data[k].insert(data[k].end(), buf, buf + n);
                    continue;
                }
                ::close(conns[k]);
                {
                    std::lock_guard lock(m_mutex);
                    m_closed.push_back(std::move(data[k]));
                }
                m_changed.notify_all();
                conns.erase(conns.begin() + static_cast<std::ptrdiff_t>(k));
                data.erase(data.begin() + static_cast<std::ptrdiff_t>(k));
            }
        }
        for (int c : conns)
            ::close(c);
    }

    int m_fd = -1;
    int m_port = 0;
    int m_wake[2] = {-1, -1};
    std::vector<int> m_fillers;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::vector<std::uint8_t>> m_closed;
};

} // namespace testing_support
