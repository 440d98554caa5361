// SIGINT and SIGTERM during a batch: the first asks it to stop, the second ends the program.
#pragma once

#include <atomic>
#include <mutex>
#include <stop_token>
#include <thread>

#include "posdll/fd.h"

namespace cli {

class InterruptWatch {
  public:
    // Blocks both signals in the calling thread, so threads it starts later inherit that, and
    // waits for them on a thread of its own. The first requests a stop on `stop`. Throws
    // std::system_error, the signals let through as before, when that thread cannot start.
    explicit InterruptWatch(std::stop_source stop);
    // Stops waiting and lets the signals through again; one that came meanwhile ends the program.
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch &) = delete;
    InterruptWatch &operator=(const InterruptWatch &) = delete;

    // The signal that asked for the stop, 0 when none came.
    int signal() const { return m_signal.load(); }

    // Held while a step runs that must not be cut off (a print-queue document, which would
    // stay behind on the server as an unfinished job): a second signal waits for it to end.
    std::unique_lock<std::mutex> holdExit() { return std::unique_lock(m_exitLock); }

  private:
    void watch();
    [[noreturn]] void exitAtOnce(int sig);

    std::stop_source m_stop;
    std::atomic<int> m_signal{0};
    std::mutex m_exitLock;
    posdll::Fd m_signals; // signalfd
    posdll::Fd m_wake;    // eventfd: the destructor's "stop waiting"
    std::thread m_thread;
};

// The exit status after a stop on signal `sig`: 130 for SIGINT, 143 for SIGTERM.
inline int exitStatusForSignal(int sig) {
    return 128 + sig;
}

} // namespace cli
