#include "batch/scan_probe.h"

#include "app/actions.h"
#include "posdll/connection_reasons.h"
#include "posdll/fd.h"
#include "posdll/port_names.h"
#include "posdll/printer_address.h"

#include <arpa/inet.h>
#include <array>
#include <sys/epoll.h>
#include <sys/socket.h>

#include <cerrno>
#include <map>
#include <optional>
#include <queue>
#include <vector>

namespace batch {

namespace {

using Clock = std::chrono::steady_clock;
using posdll::Fd;

device::FailKind failKindOf(int err) {
    return device::failKindOfLibraryError(posdll::errorKindOf(err));
}

std::string labelOf(const sockaddr_in &a) {
    char host[INET_ADDRSTRLEN] = "?";
    ::inet_ntop(AF_INET, &a.sin_addr, host, sizeof host);
    return "network printer " + posdll::formatAddress(host, ntohs(a.sin_port));
}

// One host's exchange in flight.
struct Exchange {
    Probe probe;
    Fd fd;
    std::string label;
    Clock::time_point started;
    Clock::time_point deadline;
    device::StatusExchange status;
};

class Prober {
  public:
    Prober(const HostAddress &address, const ProbeBounds &bounds,
           const std::function<void(const Probe &)> &onProbe)
        : m_address(address), m_bounds(bounds), m_onProbe(onProbe),
          m_epoll(::epoll_create1(EPOLL_CLOEXEC)),
          m_slots(static_cast<std::size_t>(std::max(bounds.inFlight, 1))) {
        for (std::size_t s = m_slots.size(); s-- > 0;)
            m_free.push_back(s);
    }

    std::size_t run(std::size_t count, const std::stop_token &stop) {
        if (!m_epoll)
            m_slots.resize(1); // no epoll: one host at a time, waited for with poll
        std::size_t next = 0;
        for (;;) {
            // Hosts settled at once (refused) are handed on as they come, not held.
            while (!m_free.empty() && next < count && !stop.stop_requested() && start(next)) {
                ++next;
                deliver();
            }
            deliver();
            if (m_free.size() == m_slots.size())
                return count - next;
            wait();
        }
    }

  private:
    // Starts host `index`; false when no descriptor is left while others are in flight.
    bool start(std::size_t index) {
        const sockaddr_in a = m_address(index);
        Exchange x;
        x.probe.index = index;
        x.label = labelOf(a);
        x.started = Clock::now();
        if (const auto why = posdll::notAPrinter(reinterpret_cast<const sockaddr *>(&a))) {
            settle(x, "not a printer's address: " + *why, device::FailKind::Usage);
            return true;
        }
        x.fd.reset(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        if (!x.fd && (errno == EMFILE || errno == ENFILE) && m_free.size() < m_slots.size())
            return false; // wait for a host in flight to give its descriptor back
        if (!x.fd) {
            const int err = errno;
            settle(x, posdll::connectionReasonOf(err), failKindOf(err), err);
            return true;
        }
        // On loopback a refusal comes back within the connect: no wait is needed to see it.
        const int err = ::connect(x.fd.get(), reinterpret_cast<const sockaddr *>(&a), sizeof a) == 0
                            ? 0
                            : (errno == EINPROGRESS ? posdll::socketError(x.fd.get()) : errno);
        if (err != 0) {
            settle(x, posdll::connectionReasonOf(err), failKindOf(err), err);
            return true;
        }
        const std::size_t s = m_free.back();
        m_free.pop_back();
        x.deadline = x.started + m_bounds.connect;
        m_slots[s] = std::move(x);
        watch(s, EPOLLOUT, EPOLL_CTL_ADD);
        return true;
    }

    void watch(std::size_t s, std::uint32_t events, int op) {
        epoll_event e{};
        e.events = events;
        e.data.u64 = s;
        ::epoll_ctl(m_epoll.get(), op, m_slots[s]->fd.get(), &e);
        m_due.emplace(m_slots[s]->deadline, s);
    }

    // Waits for the next event or deadline and handles what came.
    void wait() {
        while (!m_due.empty() && (!m_slots[m_due.top().second] ||
                                  m_slots[m_due.top().second]->deadline != m_due.top().first))
            m_due.pop(); // stale: that exchange moved on or ended
        const int millis = m_due.empty() ? -1 : posdll::millisecondsLeft(m_due.top().first);
        epoll_event events[256];
        const int n = ::epoll_wait(m_epoll.get(), events, 256, millis);
        for (int i = 0; i < n; ++i)
            ready(static_cast<std::size_t>(events[i].data.u64));
        const auto now = Clock::now();
        while (!m_due.empty() && m_due.top().first <= now) {
            const auto [when, s] = m_due.top();
            m_due.pop();
            if (m_slots[s] && m_slots[s]->deadline == when)
                expired(s);
        }
    }

    void ready(std::size_t s) {
        if (!m_slots[s])
            return;
        Exchange &x = *m_slots[s];
        if (!x.probe.connected) {
            if (const int err = posdll::socketError(x.fd.get()))
                return end(s, posdll::connectionReasonOf(err), failKindOf(err), err);
            // No TCP_NODELAY needed: each request goes out only once the last was answered.
            x.probe.connected = true;
            drainInput(x); // whatever came before the first request answers none of the four
            return ask(s, EPOLL_CTL_MOD);
        }
        // Room for more than the one byte, so that bytes behind the answer are seen.
        std::array<std::uint8_t, device::kMostAnswerBytes> answer{};
        const ssize_t n = ::recv(x.fd.get(), answer.data(), answer.size(), MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        if (n <= 0) {
            const int err = n == 0 ? 0 : errno;
            x.status.readFailed(n == 0 ? device::FailKind::Closed : failKindOf(err),
                                x.label + ": " + posdll::noAnswerReason(err), err);
        } else if (!x.status.answer(answer.data(), static_cast<std::size_t>(n))) {
            return; // passed over: the answer is still to come
        }
        if (x.status.over())
            return end(s);
        ask(s, EPOLL_CTL_MOD);
    }

    static void drainInput(Exchange &x) {
        char drop[64];
        while (::recv(x.fd.get(), drop, sizeof drop, MSG_DONTWAIT) > 0) {
        }
    }

    // Sends the status request due and waits for its answer.
    void ask(std::size_t s, int op) {
        Exchange &x = *m_slots[s];
        const auto request = x.status.request();
        if (::send(x.fd.get(), request.data(), request.size(), MSG_NOSIGNAL | MSG_DONTWAIT) !=
            static_cast<ssize_t>(request.size())) {
            const int err = errno;
            x.status.sendFailed(failKindOf(err), x.label + ": " + posdll::connectionReasonOf(err),
                                err);
            return end(s);
        }
        x.deadline = Clock::now() + std::chrono::milliseconds(m_bounds.answerMillis);
        watch(s, EPOLLIN, op);
    }

    void expired(std::size_t s) {
        Exchange &x = *m_slots[s];
        if (!x.probe.connected)
            return end(s, "no answer within " + posdll::durationText(m_bounds.connect),
                       device::FailKind::Timeout);
        x.status.noAnswerWithin(m_bounds.answerMillis);
        end(s);
    }

    // Ends the exchange in slot s and frees the slot; with a reason, it never connected.
    void end(std::size_t s, const std::string &reason = {},
             device::FailKind kind = device::FailKind::Ok, int error = 0) {
        Exchange x = std::move(*m_slots[s]);
        m_slots[s].reset();
        m_free.push_back(s);
        x.probe.reading = x.status.reading();
        if (x.probe.connected)
            drainInput(x); // unread input would make the close reset the connection
        x.fd.reset();      // closing it takes it out of the epoll set
        if (!reason.empty())
            x.probe.connected = false;
        settle(x, reason, kind, error);
    }

    void settle(Exchange &x, const std::string &reason, device::FailKind kind, int error = 0) {
        if (!x.probe.connected) {
            x.probe.reason = x.label + ": " + reason;
            x.probe.kind = kind;
            x.probe.error = error;
        }
        x.probe.elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - x.started);
        m_done.emplace(x.probe.index, std::move(x.probe));
    }

    // Hands the probes on in host order, as far as they are done.
    void deliver() {
        for (auto it = m_done.begin(); it != m_done.end() && it->first == m_delivered;
             it = m_done.erase(it), ++m_delivered)
            m_onProbe(it->second);
    }

    const HostAddress &m_address;
    const ProbeBounds &m_bounds;
    const std::function<void(const Probe &)> &m_onProbe;
    Fd m_epoll;
    std::vector<std::optional<Exchange>> m_slots;
    std::vector<std::size_t> m_free;
    using Due = std::pair<Clock::time_point, std::size_t>;
    std::priority_queue<Due, std::vector<Due>, std::greater<>> m_due;
    std::map<std::size_t, Probe> m_done; // finished, waiting for those before them
    std::size_t m_delivered = 0;
};

} // namespace

std::size_t probeHosts(std::size_t count, const HostAddress &address, const ProbeBounds &bounds,
                       const std::function<void(const Probe &)> &onProbe, std::stop_token stop) {
    Prober prober(address, bounds, onProbe);
    return prober.run(count, stop);
}

app::Result resultOf(const Probe &probe) {
    app::Result r = probe.connected
                        ? app::statusResult(probe.reading)
                        : app::failure(probe.kind, device::Stage::Open, probe.reason, probe.error);
    r.elapsed = probe.elapsed;
    return r;
}

} // namespace batch
