// SIGINT and SIGTERM during a batch: the first asks it to stop and cuts print-queue delivery
// waits to a few seconds more, the second cuts them at once and ends the program as soon as the
// print-queue documents in progress are cancelled and reported.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
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

    // Held from the start of a step that must not be cut off (a print-queue document, which
    // would stay behind on the server as an unfinished job) until its result is shown: a second
    // signal waits, boundedly, for every hold to end. A hold asked for after the second signal
    // never comes, as the program is ending.
    class Hold {
      public:
        explicit Hold(InterruptWatch &watch);
        ~Hold();
        Hold(const Hold &) = delete;
        Hold &operator=(const Hold &) = delete;

      private:
        InterruptWatch &m_watch;
    };

    // How much longer a delivery wait runs after the first signal ($POSDIP_SIGNAL_WAIT_MILLIS,
    // 0 to 600000, sets another), and how long the second one waits for the documents in
    // progress to be cancelled and reported.
    static constexpr std::chrono::milliseconds kWaitAfterFirstSignal{5000};
    static constexpr std::chrono::milliseconds kReportAfterSecondSignal{1500};

  private:
    void watch();
    [[noreturn]] void exitAtOnce(int sig);

    std::stop_source m_stop;
    std::atomic<int> m_signal{0};
    std::mutex m_holdLock;
    std::condition_variable m_holdsChanged;
    int m_holds = 0;
    bool m_exiting = false;
    posdll::Fd m_signals; // signalfd
    posdll::Fd m_wake;    // eventfd: the destructor's "stop waiting"
    std::thread m_thread;
};

// The exit status after a stop on signal `sig`: 130 for SIGINT, 143 for SIGTERM.
inline int exitStatusForSignal(int sig) {
    return 128 + sig;
}

} // namespace cli
