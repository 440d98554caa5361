// Printer stand-ins on 127.0.0.1 that serve many connections at once on one thread: each
// request (a read) gets the next of the answer bytes while they last; after the sender's end
// of stream the connection stays open for keepOpen, as a printer that never closes first.
// Counts the most connections open at once.
#pragma once

#include "support/posix_peers.h"

#include <atomic>
#include <chrono>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <vector>

namespace testing_support {

class LoopbackPrinters {
  public:
    explicit LoopbackPrinters(std::string answers, milliseconds keepOpen = milliseconds(0))
        : m_answers(std::move(answers)), m_keepOpen(keepOpen) {
        m_thread = std::thread([this] { run(); });
    }
    ~LoopbackPrinters() {
        m_stop = true;
        m_thread.join();
    }
    int port() const { return m_listener.port(); }
    std::string address() const { return m_listener.address(); }
    int mostAtOnce() const { return m_most; }

  private:
    struct Connection {
        Fd fd;
        std::size_t answered = 0;
        std::chrono::steady_clock::time_point closeAt{}; // set at the sender's end of stream
    };

    void run() {
        std::vector<Connection> open;
        while (!m_stop) {
            Fd c = m_listener.accept(milliseconds(2));
            // Those the sender closed before this connection are seen closed before it counts.
            const auto now = std::chrono::steady_clock::now();
            for (auto it = open.begin(); it != open.end();) {
                if (it->closeAt != std::chrono::steady_clock::time_point{}) {
                    it = now >= it->closeAt ? open.erase(it) : it + 1;
                    continue;
                }
                unsigned char buf[512];
                const ssize_t n = ::recv(it->fd.get(), buf, sizeof buf, MSG_DONTWAIT);
                if (n == 0 && m_keepOpen.count() > 0) {
                    it->closeAt = now + m_keepOpen;
                } else if (n == 0 || (n < 0 && errno != EAGAIN)) {
                    it = open.erase(it);
                    continue;
                } else if (n > 0 && it->answered < m_answers.size()) {
                    (void)!::write(it->fd.get(), &m_answers[it->answered++], 1);
                }
                ++it;
            }
            if (c) {
                open.push_back({std::move(c)});
                m_most = std::max<int>(m_most, static_cast<int>(open.size()));
            }
        }
    }

    std::string m_answers;
    milliseconds m_keepOpen;
    Listener m_listener{"127.0.0.1", 1024};
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_most{0};
    std::thread m_thread;
};

} // namespace testing_support
