#include "batch/runner.h"

#include "batch/end_handover.h"
#include "batch/end_watch.h"

#include "app/actions.h"
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

using Clock = std::chrono::steady_clock;
using Slots = std::counting_semaphore<>;

std::chrono::milliseconds since(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

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

    // Records target index's result (from any thread); nothing when it was not attempted.
    void record(std::size_t index, std::optional<app::Result> result) {
        {
            std::lock_guard lock(m_mutex);
            if (result) {
                m_failed += result->succeeded() ? 0 : 1;
                ++m_done;
                m_results[index] = std::move(result);
            } else {
                ++m_skipped;
            }
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

// Serves targets onto the board: each result at once, or, when its task handed the end of
// its document over, once the watch has seen that end settle.
class Server {
  public:
    Server(ResultBoard &board, const TargetTask &task, const std::stop_token &stop, bool watchEnds)
        : m_board(board), m_task(task), m_stop(stop) {
        if (!watchEnds)
            return;
        try {
            m_watch.emplace();
        } catch (const std::system_error &) {
            // No epoll for the watch: each end is waited for where it happens, as it was.
        }
    }

    // Settles target index with `result` without running it (unless a stop came first).
    void fail(std::size_t index, const app::Result &result) {
        m_board.record(index,
                       m_stop.stop_requested() ? std::nullopt : std::optional<app::Result>(result));
    }

    // Serves target index on this thread; `release` runs once it holds no connection.
    void serve(std::size_t index, const std::function<void()> &release) {
        if (m_stop.stop_requested()) {
            m_board.record(index, std::nullopt);
            return release();
        }
        const auto started = Clock::now();
        std::optional<device::PendingEnd> end;
        app::Result result;
        {
            const EndsHandedOver handingOver(m_watch.has_value());
            result = guarded(m_task, index);
            end = takeHandedOverEnd();
        }
        if (!end) {
            result.elapsed = since(started);
            m_board.record(index, std::move(result));
            return release();
        }
        m_watch->watch(std::move(*end), [this, index, sent = std::move(result), started,
                                         release](const device::WriteResult &settled) {
            release(); // first: once all is recorded, the runner's counts may go
            app::Result r = sent;
            if (!settled.ok) { // the printer took the bytes; its end of document failed
                r = app::writeFailure(settled);
                r.written = sent.written;
            }
            r.elapsed = since(started);
            m_board.record(index, std::move(r));
        });
    }

  private:
    ResultBoard &m_board;
    const TargetTask &m_task;
    const std::stop_token &m_stop;
    std::optional<EndWatch> m_watch; // last: its ends settle before the rest goes
};

} // namespace

std::size_t runTargets(const std::vector<bool> &network, int jobs, int maxOpen,
                       const TargetTask &task, const RunHooks &hooks, std::stop_token stop,
                       const StartThread &startThread) {
    const std::size_t n = network.size();
    std::vector<std::size_t> remote, local;
    for (std::size_t i = 0; i < n; ++i)
        (network[i] ? remote : local).push_back(i);

    ResultBoard board(n);
    // A lone network target ends its document where it runs: nothing would overlap the watch.
    Server server(board, task, stop, remote.size() > 1);
    if (n == 1) {
        server.serve(0, [] {});
        board.deliver(hooks);
        return board.skipped();
    }
    const int openCount = std::max(maxOpen, 1);
    const int slotCount = std::clamp(jobs, 1, openCount);
    Slots open(openCount); // a connection each, until its end has settled
    std::atomic<std::size_t> nextRemote{0};
    // The connection first, then the next target: targets start in the order listed.
    auto remoteWorker = [&] {
        for (;;) {
            open.acquire();
            const std::size_t k = nextRemote.fetch_add(1);
            if (k >= remote.size()) {
                open.release();
                return;
            }
            server.serve(remote[k], [&open] { open.release(); });
        }
    };
    auto localLane = [&] {
        for (std::size_t i : local)
            server.serve(i, [] {});
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
    // A lane that got no thread at all fails its targets; one with fewer threads than asked
    // for serves them all on those it got.
    auto failAll = [&](const std::vector<std::size_t> &lane) {
        for (std::size_t i : lane)
            server.fail(i, *noThread);
    };
    const std::size_t workers = std::min(static_cast<std::size_t>(slotCount), remote.size());
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
