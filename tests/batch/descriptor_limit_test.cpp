#include "batch/descriptor_limit.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <future>
#include <limits>

using namespace std::chrono_literals;

namespace {

app::Result failed(device::FailKind kind) {
    return app::failure(kind, device::Stage::Open, "network printer 127.0.0.1:9100: ...");
}

long openDescriptors() {
    long n = 0;
    for ([[maybe_unused]] const auto &e : std::filesystem::directory_iterator("/proc/self/fd"))
        ++n;
    return n;
}

// Sets this process's soft open-file limit for the scope.
class SoftLimit {
  public:
    explicit SoftLimit(rlim_t soft) {
        ::getrlimit(RLIMIT_NOFILE, &m_saved);
        rlimit lim = m_saved;
        lim.rlim_cur = soft;
        EXPECT_EQ(::setrlimit(RLIMIT_NOFILE, &lim), 0);
    }
    ~SoftLimit() { ::setrlimit(RLIMIT_NOFILE, &m_saved); }

  private:
    rlimit m_saved{};
};

} // namespace

TEST(batch_descriptor_limit_test, a_printer_without_a_descriptor_waits_for_another_to_end) {
    batch::DescriptorWait wait;
    std::promise<void> otherStarted, otherMayEnd;
    auto other = std::async(std::launch::async, [&] {
        return wait.run([&] {
            otherStarted.set_value();
            otherMayEnd.get_future().wait_for(10s);
            return app::Result{};
        });
    });
    // With `other` in flight, the first attempt fails and the second follows its end.
    ASSERT_EQ(otherStarted.get_future().wait_for(10s), std::future_status::ready);
    int attempts = 0;
    const app::Result result = wait.run([&] {
        if (++attempts == 1) {
            otherMayEnd.set_value();
            return failed(device::FailKind::NoDescriptors);
        }
        return app::Result{};
    });
    EXPECT_TRUE(result.succeeded());
    EXPECT_EQ(attempts, 2);
    EXPECT_TRUE(other.get().succeeded());
    EXPECT_EQ(wait.shortages(), 1u);
}

TEST(batch_descriptor_limit_test, alone_or_failing_otherwise_the_result_stands) {
    batch::DescriptorWait wait;
    for (const device::FailKind kind :
         {device::FailKind::NoDescriptors, device::FailKind::Refused}) {
        int attempts = 0;
        // Nothing else in flight would free a descriptor, and other failures are never repeated.
        EXPECT_EQ(wait.run([&] {
                          ++attempts;
                          return failed(kind);
                      })
                      .kind,
                  kind);
        EXPECT_EQ(attempts, 1);
    }
}

// The budget is the soft limit less the descriptors open now and the reserve, at least 1. Linux
// never lets the open-file limit be infinite: the highest it takes is the hard limit.
TEST(batch_descriptor_limit_test, the_budget_follows_the_soft_limit_and_the_open_descriptors) {
    rlimit lim{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &lim), 0);
    for (const rlim_t limit : {rlim_t{200}, lim.rlim_max}) {
        const SoftLimit soft(limit);
        const long open = openDescriptors() - 1; // less the listing's own descriptor
        const long budget = static_cast<long>(limit) - open - batch::kDescriptorReserve;
        EXPECT_EQ(batch::printersWithinDescriptorLimit(), budget) << limit;
        int pipe[2];
        ASSERT_EQ(::pipe(pipe), 0);
        EXPECT_EQ(batch::printersWithinDescriptorLimit(), budget - 2) << limit;
        ::close(pipe[0]);
        ::close(pipe[1]);
    }
    const SoftLimit soft(static_cast<rlim_t>(openDescriptors()));
    EXPECT_EQ(batch::printersWithinDescriptorLimit(), 1);
}
