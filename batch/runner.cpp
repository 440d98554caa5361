#include "batch/runner.h"

#include "posdll/fd.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <semaphore>
#include <system_error>
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

app::Result guarded(const TargetTask &task, std::size_t index) {
    try {
        return task(index);
    } catch (const std::exception &e) {
        return app::failure(device::FailKind::Internal, device::Stage::Open, e.what());
    }
}

// Results as they come in, from any thread. A target that was not attempted is settled
// without a result.
class ResultBoard {
  public:
    explicit ResultBoard(std::size_t n) : m_results(n), m_settled(n, false) {}

    // Runs the task unless a stop was requested first.
    void settle(std::size_t index, const TargetTask &task, const std::stop_token &stop) {
        std::optional<app::Result> result;
        if (!stop.stop_requested())
            result = guarded(task, index);
        {
            std::lock_guard lock(m_mutex);
            if (result) {
                m_failed += result->succeeded() ? 0 : 1;
                ++m_done;
            } else {
                ++m_skipped;
            }
            m_results[index] = std::move(result);
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
                const app::Result result = std::move(*m_results[next]);
                m_results[next].reset();
                lock.unlock();
                hooks.onResult(next, result);
                lock.lock();
            }
        }
        report();
    }

  private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::optional<app::Result>> m_results;
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
                       const TargetTask &task, const RunHooks &hooks, std::stop_token stop,
                       const StartThread &startThread) {
    const std::size_t n = network.size();
    if (n == 1) {
        if (stop.stop_requested())
            return 1;
        const app::Result result = guarded(task, 0);
        if (hooks.onProgress)
            hooks.onProgress(1, result.succeeded() ? 0 : 1);
        hooks.onResult(0, result);
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
    auto localLane = [&] {
        for (std::size_t i : local)
            board.settle(i, task, stop);
    };
    std::vector<std::jthread> threads;
    std::optional<app::Result> noThread; // why the last thread asked for did not start
    auto start = [&](std::function<void()> body) {
        try {
            threads.push_back(startThread ? startThread(std::move(body))
                                          : std::jthread(std::move(body)));
            return true;
        } catch (const std::system_error &e) {
            noThread =
                app::failure(device::FailKind::Internal, device::Stage::Open,
                             "cannot start a thread: " + posdll::errnoText(e.code().value()));
            return false;
        }
    };
    // Each lane that got no thread at all fails its targets; one with fewer threads than asked
    // for serves them all on those it got.
    auto failAll = [&](const std::vector<std::size_t> &lane) {
        for (std::size_t i : lane)
            board.settle(
                i, [&](std::size_t) { return *noThread; }, stop);
    };
    const std::size_t workers = std::min({static_cast<std::size_t>(slotCount) * (1 + kEndingPerJob),
                                          static_cast<std::size_t>(openCount), remote.size()});
    threads.reserve(workers + 1);
    std::size_t started = 0;
    while (started < workers && start(remoteWorker))
        ++started;
    if (started == 0)
        failAll(remote);
    if (!local.empty() && !start(localLane))
        failAll(local);
    board.deliver(hooks);
    return board.skipped();
}

} // namespace batch
