#include "interrupt.h"

#include "posdll/millis_setting.h"
#include "posdll/posdll.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <system_error>

namespace cli {

namespace {

sigset_t watchedSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

int waitAfterFirstSignalMillis() {
    return static_cast<int>(posdll::millisSetting(std::getenv("POSDIP_SIGNAL_WAIT_MILLIS"), 0,
                                                  InterruptWatch::kWaitAfterFirstSignal)
                                .count());
}

void say(const char *text) {
    if (::write(STDERR_FILENO, text, std::strlen(text)) < 0)
        return;
}

} // namespace

InterruptWatch::InterruptWatch(std::stop_source stop) : m_stop(std::move(stop)) {
    const sigset_t set = watchedSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    m_signals.reset(::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK));
    m_wake.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    try {
        m_thread = std::thread([this] { watch(); });
    } catch (const std::system_error &) {
        pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
        throw;
    }
}

InterruptWatch::~InterruptWatch() {
    const std::uint64_t one = 1;
    if (::write(m_wake.get(), &one, sizeof one) < 0)
        say("posdip-cli: cannot stop the signal watch\n");
    m_thread.join();
    // A signal that came after the batch ended is a second one: the program ends with it.
    signalfd_siginfo info;
    if (::read(m_signals.get(), &info, sizeof info) == sizeof info)
        exitAtOnce(static_cast<int>(info.ssi_signo));
    const sigset_t set = watchedSignals();
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

void InterruptWatch::watch() {
    const int waitAfterFirstSignal = waitAfterFirstSignalMillis();
    pollfd fds[2] = {{m_signals.get(), POLLIN, 0}, {m_wake.get(), POLLIN, 0}};
    for (;;) {
        if (::poll(fds, 2, -1) < 0)
            continue; // EINTR: nothing is delivered to this thread, but poll may still say so
        if (fds[1].revents)
            return;
        signalfd_siginfo info;
        if (::read(m_signals.get(), &info, sizeof info) != sizeof info)
            continue;
        const int sig = static_cast<int>(info.ssi_signo);
        int none = 0;
        if (!m_signal.compare_exchange_strong(none, sig))
            exitAtOnce(sig);
        say(sig == SIGINT ? "posdip-cli: interrupted; finishing the printers already started "
                            "(interrupt again to quit at once)\n"
                          : "posdip-cli: terminated; finishing the printers already started\n");
        m_stop.request_stop();
        POS_CutDeliveryWaits(waitAfterFirstSignal);
    }
}

void InterruptWatch::exitAtOnce(int sig) {
    POS_CutDeliveryWaits(0);
    std::unique_lock lock(m_holdLock);
    m_exiting = true;
    m_holdsChanged.wait_for(lock, kReportAfterSecondSignal, [this] { return m_holds == 0; });
    say("posdip-cli: stopped at once\n");
    ::_exit(exitStatusForSignal(sig)); // still holding the lock: no hold starts any more
}

InterruptWatch::Hold::Hold(InterruptWatch &watch) : m_watch(watch) {
    std::unique_lock lock(m_watch.m_holdLock);
    m_watch.m_holdsChanged.wait(lock, [this] { return !m_watch.m_exiting; });
    ++m_watch.m_holds;
}

InterruptWatch::Hold::~Hold() {
    const std::lock_guard lock(m_watch.m_holdLock);
    --m_watch.m_holds;
    m_watch.m_holdsChanged.notify_all();
}

} // namespace cli
