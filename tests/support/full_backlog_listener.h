// A loopback listener that never accepts and whose backlog is full: the kernel drops every new
// connection attempt without an answer, so a client waits out its own connect timeout, as with
// a printer that is switched off.
#pragma once

#include "support/tcp_listener.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace testing_support {

class FullBacklogListener {
  public:
    FullBacklogListener() {
        // Backlog 0 still queues one connection; after that the queue counts as full.
        if (::listen(m_socket.fd(), 0) != 0)
            throw std::runtime_error(std::string("listen: ") + std::strerror(errno));
        for (int i = 0; i < 4; ++i) {
            const int c = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
            if (c < 0)
                throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
            m_fillers.push_back(c);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            a.sin_port = htons(static_cast<std::uint16_t>(m_socket.port()));
            if (::connect(c, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0)
                continue;
            pollfd p{c, POLLOUT, 0};
            if (::poll(&p, 1, 200) != 1)
                return; // this attempt hangs: the queue is full
        }
        throw std::runtime_error("the listen queue of 127.0.0.1:" +
                                 std::to_string(m_socket.port()) + " never filled up");
    }
    ~FullBacklogListener() {
        for (int fd : m_fillers)
            ::close(fd);
    }
    FullBacklogListener(const FullBacklogListener &) = delete;
    FullBacklogListener &operator=(const FullBacklogListener &) = delete;

    std::string address() const { return m_socket.address(); }

  private:
    LoopbackSocket m_socket{false};
    std::vector<int> m_fillers;
};

} // namespace testing_support
