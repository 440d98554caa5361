// The ends of a batch's network documents, watched on one thread however many there are: each
// waits there for its printer's acknowledgement and the linger after it (device/pending_end.h)
// while the threads that connect and write go on to the next printer.
#pragma once

#include "device/pending_end.h"
#include "posdll/fd.h"

#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace batch {

class EndWatch {
  public:
    // Called on the watch's thread once an end has settled and its connection is closed.
    using Settled = std::function<void(const device::WriteResult &)>;

    // Starts the watch's thread; throws std::system_error when the system gives no epoll,
    // timer or event descriptor.
    EndWatch();
    // Returns once every end handed over has settled.
    ~EndWatch();
    EndWatch(const EndWatch &) = delete;
    EndWatch &operator=(const EndWatch &) = delete;

    // Any thread. The end is looked at at once, then on input and when its wait runs out.
    void watch(device::PendingEnd end, Settled settled);

  private:
    struct Handed {
        device::PendingEnd end;
        Settled settled;
    };
    void run();
    void wake();

    posdll::Fd m_epoll;
    posdll::Fd m_timer;
    posdll::Fd m_wake;
    std::mutex m_mutex;
    std::vector<Handed> m_handed; // not yet taken by the watch's thread
    bool m_closing = false;
    std::thread m_thread;
};

} // namespace batch
