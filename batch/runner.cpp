#include "batch/runner.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <semaphore>
#include <thread>
#include <utility>

namespace batch {

namespace {

using Slots = std::counting_semaphore<>;

// The slot the task on this thread holds, null when none.
thread_local Slots *t_slot = nullptr;

// Holds one of the job slots for a task, unless the task left it early.
class SlotLease {
  public:
    explicit SlotLease(Slots &slots) {
        slots.acquire();
        t_slot = &slots;
    }
    ~SlotLease() { leaveJobSlot(); }
    SlotLease(const SlotLease &) = delete;
    SlotLease &operator=(const SlotLease &) = delete;
};

app::Outcome guarded(const TargetTask &task, std::size_t index) {
    try {
        return task(index);
    } catch (const std::exception &e) {
        app::Outcome o = app::messageOutcome(app::MessageIcon::Error, app::kOpenFailed, e.what());
        o.failKind = device::FailKind::Internal;
        o.stage = device::Stage::Open;
        return o;
    }
}

// Results as they come in, from any thread. A target that was not attempted is settled
// without a result.
class ResultBoard {
  public:
    explicit ResultBoard(std::size_t n) : m_results(n), m_settled(n, false) {}

    // Runs the task unless a stop was requested first.
    void settle(std::size_t index, const TargetTask &task, const std::stop_token &stop) {
        std::optional<app::Outcome> outcome;
        if (!stop.stop_requested())
            outcome = guarded(task, index);
        {
            std::lock_guard lock(m_mutex);
            if (outcome) {
                m_failed += outcome->succeeded() ? 0 : 1;
                ++m_done;
            } else {
                ++m_skipped;
            }
            m_results[index] = std::move(outcome);
            m_settled[index] = true;
        }
        m_changed.notify_one();
    }

    std::size_t skipped() {
        std::lock_guard lock(m_mutex);
        return m_skipped;
    }

    // Hands every result to the hooks in order; returns when the last one is handed over.
    // Progress is reported at every wake-up that saw a change, and last of all at the end.
    void deliver(const RunHooks &hooks) {
        std::size_t next = 0;
        std::size_t reported = 0;
        std::unique_lock lock(m_mutex);
        auto report = [&] {
            if (m_done == reported)
                return;
            reported = m_done;
            if (!hooks.onProgress)
                return;
            const std::size_t failed = m_failed;
            lock.unlock();
            hooks.onProgress(reported, failed);
            lock.lock();
        };
        while (next < m_results.size()) {
            m_changed.wait(lock, [&] { return m_done != reported || m_settled[next]; });
            report();
            for (; next < m_results.size() && m_settled[next]; ++next) {
                if (!m_results[next])
                    continue;
                const app::Outcome outcome = std::move(*m_results[next]);
                m_results[next].reset();
                lock.unlock();
                hooks.onResult(next, outcome);
                lock.lock();
            }
        }
        report();
    }

  private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::optional<app::Outcome>> m_results;
    std::vector<bool> m_settled;
    std::size_t m_done = 0;
    std::size_t m_failed = 0;
    std::size_t m_skipped = 0;
};

} // namespace

void leaveJobSlot() {
    if (Slots *slots = std::exchange(t_slot, nullptr))
        slots->release();
}

std::size_t runTargets(const std::vector<bool> &network, int jobs, int maxOpen,
                       const TargetTask &task, const RunHooks &hooks, std::stop_token stop) {
    const std::size_t n = network.size();
    if (n == 1) {
        if (stop.stop_requested())
            return 1;
        const app::Outcome outcome = guarded(task, 0);
        if (hooks.onProgress)
            hooks.onProgress(1, outcome.succeeded() ? 0 : 1);
        hooks.onResult(0, outcome);
        return 0;
    }
    std::vector<std::size_t> remote, local;
    for (std::size_t i = 0; i < n; ++i)
        (network[i] ? remote : local).push_back(i);

    ResultBoard board(n);
    const int openCount = std::max(maxOpen, 1);
    const int slotCount = std::clamp(jobs, 1, openCount);
    Slots slots(slotCount);
    std::atomic<std::size_t> nextRemote{0};
    // The slot first, then the next target: targets start in the order listed.
    auto remoteWorker = [&] {
        for (;;) {
            const SlotLease lease(slots);
            const std::size_t k = nextRemote.fetch_add(1);
            if (k >= remote.size())
                return;
            board.settle(remote[k], task, stop);
        }
    };
    std::vector<std::jthread> threads;
    const std::size_t workers = std::min({static_cast<std::size_t>(slotCount) * (1 + kEndingPerJob),
                                          static_cast<std::size_t>(openCount), remote.size()});
    threads.reserve(workers + 1);
    for (std::size_t w = 0; w < workers; ++w)
        threads.emplace_back(remoteWorker);
    if (!local.empty())
        threads.emplace_back([&] {
            for (std::size_t i : local)
                board.settle(i, task, stop);
        });
    board.deliver(hooks);
    return board.skipped();
}

} // namespace batch
