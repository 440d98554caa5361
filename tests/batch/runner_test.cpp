#include "batch/end_handover.h"
#include "batch/runner.h"

#include "app/actions.h"
#include "support/loopback_printers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <limits>
#include <mutex>
#include <set>
#include <stdexcept>
#include <stop_token>
#include <system_error>
#include <thread>

using namespace std::chrono_literals;

namespace {

// No bound from the open-file limit.
constexpr int kAnyOpen = std::numeric_limits<int>::max();

app::Result succeeded() {
    return {};
}

// Counts how many tasks of each kind run at once. A task of the gated kind waits until the
// count has reached `gate` (or a bounded time passed), so a runner that allows that many at
// once is seen to reach it.
class Overlap {
  public:
    explicit Overlap(std::size_t gate) : m_gate(gate) {}

    void enter(bool gated, std::chrono::milliseconds hold) {
        std::unique_lock lock(m_mutex);
        const std::size_t now = ++m_inFlight;
        m_peak = std::max(m_peak, now);
        if (now >= m_gate)
            m_reached = true;
        m_changed.notify_all();
        if (gated)
            m_changed.wait_for(lock, 10s, [&] { return m_reached; });
        lock.unlock();
        std::this_thread::sleep_for(hold);
        lock.lock();
        --m_inFlight;
    }
    std::size_t peak() {
        std::lock_guard lock(m_mutex);
        return m_peak;
    }

  private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::size_t m_gate;
    std::size_t m_inFlight = 0;
    std::size_t m_peak = 0;
    bool m_reached = false;
};

struct Delivered {
    std::vector<std::size_t> order;
    std::vector<std::size_t> progress;
    std::vector<std::thread::id> deliveredOn;
};

batch::RunHooks recordingHooks(Delivered &d) {
    return {[&d](std::size_t i, const app::Result &) {
                d.order.push_back(i);
                d.deliveredOn.push_back(std::this_thread::get_id());
            },
            [&d](std::size_t done, std::size_t) { d.progress.push_back(done); }};
}

std::vector<std::size_t> iota(std::size_t n) {
    std::vector<std::size_t> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = i;
    return v;
}

} // namespace

TEST(batch_runner_test, network_targets_run_up_to_jobs_at_once_and_no_more) {
    for (int jobs : {1, 3, 8}) {
        Overlap overlap(static_cast<std::size_t>(jobs));
        Delivered d;
        const std::vector<bool> network(40, true);
        batch::runTargets(
            network, jobs, kAnyOpen,
            [&](std::size_t) {
                overlap.enter(true, 1ms);
                return succeeded();
            },
            recordingHooks(d));
        EXPECT_EQ(overlap.peak(), static_cast<std::size_t>(jobs)) << "-j " << jobs;
        EXPECT_EQ(d.order, iota(40));
    }
}

TEST(batch_runner_test, other_targets_run_one_at_a_time_beside_the_network_ones) {
    Overlap net(4), local(1);
    Delivered d;
    std::vector<bool> network;
    for (int i = 0; i < 30; ++i)
        network.push_back(i % 3 != 0); // 10 local targets among 20 network ones
    batch::runTargets(
        network, 4, kAnyOpen,
        [&](std::size_t i) {
            // Local tasks linger so that two of them would overlap if the runner let them.
            if (network[i])
                net.enter(true, 1ms);
            else
                local.enter(false, 5ms);
            return succeeded();
        },
        recordingHooks(d));
    EXPECT_EQ(net.peak(), 4u);
    EXPECT_EQ(local.peak(), 1u);
    EXPECT_EQ(d.order, iota(30));
}

TEST(batch_runner_test, results_come_in_target_order_whatever_finishes_first) {
    // Target 0 finishes only after every other target has finished.
    const std::size_t n = 12;
    std::mutex m;
    std::condition_variable cv;
    std::size_t finished = 0;
    std::vector<std::size_t> finishOrder;
    Delivered d;
    batch::runTargets(
        std::vector<bool>(n, true), 16, kAnyOpen,
        [&](std::size_t i) {
            std::unique_lock lock(m);
            if (i == 0)
                cv.wait_for(lock, 10s, [&] { return finished == n - 1; });
            ++finished;
            finishOrder.push_back(i);
            cv.notify_all();
            return app::failure(device::FailKind::Refused, device::Stage::Open,
                                "target " + std::to_string(i));
        },
        recordingHooks(d));
    EXPECT_EQ(finishOrder.back(), 0u);
    EXPECT_EQ(d.order, iota(n));
    // Progress counts every finish, each reported once, rising to n.
    ASSERT_FALSE(d.progress.empty());
    EXPECT_TRUE(std::is_sorted(d.progress.begin(), d.progress.end()));
    EXPECT_EQ(d.progress.back(), n);
    EXPECT_EQ(std::adjacent_find(d.progress.begin(), d.progress.end()), d.progress.end());
    // Everything is handed over on the calling thread.
    for (const auto &id : d.deliveredOn)
        EXPECT_EQ(id, std::this_thread::get_id());
}

TEST(batch_runner_test, outcomes_reach_their_own_target_and_failures_are_counted) {
    std::vector<std::string> seen(10);
    std::size_t lastFailed = 0;
    batch::runTargets(std::vector<bool>(10, true), 3, kAnyOpen,
                      [](std::size_t i) {
                          if (i == 4)
                              throw std::runtime_error("out of sockets");
                          app::Result o = succeeded();
                          o.reason = std::to_string(i);
                          if (i % 2)
                              o.kind = device::FailKind::Refused;
                          return o;
                      },
                      {[&](std::size_t i, const app::Result &o) { seen[i] = o.reason; },
                       [&](std::size_t, std::size_t failed) { lastFailed = failed; }});
    EXPECT_EQ(seen, (std::vector<std::string>{"0", "1", "2", "3", "out of sockets", "5", "6", "7",
                                              "8", "9"}));
    EXPECT_EQ(lastFailed, 6u); // 1, 3, 5, 7, 9 and the one that threw
}

TEST(batch_runner_test, a_single_target_runs_on_the_calling_thread) {
    std::thread::id ranOn;
    Delivered d;
    batch::runTargets(
        {true}, 16, kAnyOpen,
        [&](std::size_t) {
            ranOn = std::this_thread::get_id();
            return succeeded();
        },
        recordingHooks(d));
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_EQ(d.order, iota(1));
    EXPECT_EQ(d.progress, std::vector<std::size_t>{1});
}

TEST(batch_runner_test, no_targets_calls_nothing) {
    Delivered d;
    batch::runTargets(
        {}, 4, kAnyOpen, [](std::size_t) -> app::Result { throw std::logic_error("called"); },
        recordingHooks(d));
    EXPECT_TRUE(d.order.empty());
}

TEST(batch_runner_test, a_stop_lets_running_targets_finish_and_starts_no_more) {
    // Network targets 0 and 1 run together with -j 2; the stop comes while both are running,
    // before the local lane's targets 2 and 4 and network target 3 have started.
    std::stop_source stop;
    std::mutex m;
    std::condition_variable cv;
    int running = 0;
    std::vector<std::size_t> started;
    Delivered d;
    const std::size_t notAttempted = batch::runTargets(
        {true, true, false, true, false}, 2, kAnyOpen,
        [&](std::size_t i) {
            std::unique_lock lock(m);
            started.push_back(i);
            if (i < 2) {
                ++running;
                cv.notify_all();
                cv.wait_for(lock, 10s, [&] { return running == 2 || stop.stop_requested(); });
                stop.request_stop();
                cv.notify_all();
            } else if (i == 2) { // started before the stop: it runs on until the stop
                cv.wait_for(lock, 10s, [&] { return stop.stop_requested(); });
            }
            return succeeded();
        },
        recordingHooks(d), stop.get_token());
    // The local lane may have started its first target before the stop.
    const bool localRan = std::find(started.begin(), started.end(), 2u) != started.end();
    EXPECT_EQ(d.order, iota(localRan ? 3 : 2));
    EXPECT_EQ(notAttempted, localRan ? 2u : 3u);
    EXPECT_EQ(std::count(started.begin(), started.end(), 3u), 0);
    EXPECT_EQ(std::count(started.begin(), started.end(), 4u), 0);

    // Stopped before the start: a lone target is not attempted either.
    Delivered none;
    EXPECT_EQ(batch::runTargets(
                  {true}, 1, kAnyOpen, [](std::size_t) { return succeeded(); },
                  recordingHooks(none), stop.get_token()),
              1u);
    EXPECT_TRUE(none.order.empty());
}

// The ends of network documents (each printer acknowledges, then keeps its side open past the
// half-second watch for a late reset) are watched on one thread beside the `jobs` threads that
// connect and write, and overlap beyond them; `maxOpen` bounds the connections, ends included.
TEST(batch_runner_test, ends_overlap_on_one_thread_beside_the_jobs_within_the_descriptors) {
    constexpr int kJobs = 2;
    constexpr int kMaxOpen = 10;
    constexpr std::size_t kTargets = 30;
    testing_support::LoopbackPrinters printers("", 700ms);
    const auto threads = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                             std::filesystem::directory_iterator());
    };
    // This process's side of its connections to the printers, not yet closed: the table is not
    // read at one instant, so a row counts only if its socket is among the descriptors after.
    const auto connections = [port = printers.port()] {
        std::ifstream tcp("/proc/net/tcp");
        std::string line, slot, local, remote, state, queues, timer, retries, uid, timeout, inode;
        std::set<std::string> toPrinters;
        for (std::getline(tcp, line); tcp >> slot >> local >> remote >> state >> queues >> timer >>
                                      retries >> uid >> timeout >> inode;
             std::getline(tcp, line))
            if (std::stoi(remote.substr(remote.find(':') + 1), nullptr, 16) == port)
                toPrinters.insert("socket:[" + inode + "]");
        long n = 0;
        std::error_code ec;
        for (const auto &fd : std::filesystem::directory_iterator("/proc/self/fd"))
            n += toPrinters.count(std::filesystem::read_symlink(fd.path(), ec).string());
        return n;
    };
    const auto before = threads();
    std::atomic<long> most{0}, mostOpen{0};
    std::vector<std::string> shown(kTargets);
    std::vector<std::chrono::milliseconds> took(kTargets);
    std::vector<int> written(kTargets);
    batch::EndHandedOver lib(device::libraryPosdll());
    batch::runTargets(std::vector<bool>(kTargets, true), kJobs, kMaxOpen,
                      [&](std::size_t) {
                          app::ActionInputs in;
                          in.port.portName = "ETHERNET";
                          in.port.ipText = printers.address();
                          app::Result o = app::runAction(app::Action::StoreSetting, in, lib);
                          most = std::max(most.load(), threads() - before);
                          mostOpen = std::max(mostOpen.load(), connections());
                          return o;
                      },
                      {[&](std::size_t i, const app::Result &o) {
                           shown[i] = o.succeeded() ? "" : o.reason;
                           took[i] = o.elapsed;
                           written[i] = o.written;
                       },
                       {}});
    EXPECT_EQ(shown, std::vector<std::string>(kTargets, ""));
    EXPECT_EQ(written, std::vector<int>(kTargets, 11));
    EXPECT_LE(most, kJobs + 1) << "the jobs and the watch, no thread for an end";
    EXPECT_GT(mostOpen, kJobs) << "the ends overlap beyond the jobs";
    EXPECT_LE(mostOpen, kMaxOpen);
    EXPECT_GE(*std::min_element(took.begin(), took.end()), 450ms) << "the linger is counted";
}

// The system starts only `allowed` threads: the targets are served on those there are, and a
// lane that got none fails each of its targets without running it.
TEST(batch_runner_test, a_thread_that_cannot_start_fails_only_the_targets_left_without_one) {
    const std::vector<bool> network{true, false, true, true, false};
    struct Row {
        int allowed;
        std::vector<bool> served;
    } rows[] = {{0, {false, false, false, false, false}},
                {1, {true, false, true, true, false}},
                {4, {true, true, true, true, true}}};
    for (const Row &r : rows) {
        int started = 0;
        const batch::StartThread refusing = [&](std::function<void()> body) {
            if (started++ >= r.allowed)
                throw std::system_error(EAGAIN, std::generic_category());
            return std::jthread(std::move(body));
        };
        std::vector<std::string> reasons(network.size());
        std::mutex m;
        std::vector<bool> served(network.size());
        batch::runTargets(
            network, 8, kAnyOpen,
            [&](std::size_t i) {
                const std::lock_guard lock(m);
                served[i] = true;
                return succeeded();
            },
            {[&](std::size_t i, const app::Result &o) { reasons[i] = o.reason; }, {}}, {},
            refusing);
        EXPECT_EQ(served, r.served) << r.allowed << " threads";
        for (std::size_t i = 0; i < network.size(); ++i)
            EXPECT_EQ(reasons[i], r.served[i] ? ""
                                              : "cannot start a thread: Resource temporarily "
                                                "unavailable")
                << i;
    }
}
