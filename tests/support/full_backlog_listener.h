// A loopback listener that never accepts and whose backlog is full: the kernel drops every new
// connection attempt without an answer, so a client waits out its own connect timeout, as with
// a printer that is switched off.
#pragma once

#include "support/posix_peers.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace testing_support {

class FullBacklogListener {
  public:
    FullBacklogListener() {
        if (!m_listener.ok())
            throw std::runtime_error(std::string("listen on 127.0.0.1: ") + std::strerror(errno));
        // Backlog 0 still queues one connection; after that the queue counts as full.
        for (int i = 0; i < 4; ++i) {
            m_fillers.emplace_back(
                ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            a.sin_port = htons(static_cast<std::uint16_t>(m_listener.port()));
            const int c = m_fillers.back().get();
            if (::connect(c, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0)
                continue;
            pollfd p{c, POLLOUT, 0};
            if (::poll(&p, 1, 200) != 1)
                return; // this attempt hangs: the queue is full
        }
        throw std::runtime_error("the listen queue of " + m_listener.address() +
                                 " never filled up");
    }

    const std::string &address() const { return m_listener.address(); }

  private:
    Listener m_listener{"127.0.0.1", 0};
    std::vector<Fd> m_fillers;
};

} // namespace testing_support
