#include "batch/descriptor_limit.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <future>

using namespace std::chrono_literals;

namespace {

app::Outcome openFailed(const std::string &detail) {
    return app::messageOutcome(app::MessageIcon::Error, app::kOpenFailed, detail);
}

app::Outcome ok() {
    return app::messageOutcome(app::MessageIcon::Information, app::kRestart);
}

const std::string kNoDescriptor =
    std::string("network printer 127.0.0.1:9100: ") + std::strerror(EMFILE);

} // namespace

TEST(batch_descriptor_limit_test, a_printer_without_a_descriptor_waits_for_another_to_end) {
    batch::DescriptorWait wait;
    std::promise<void> otherStarted, otherMayEnd;
    auto other = std::async(std::launch::async, [&] {
        return wait.run([&] {
            otherStarted.set_value();
            otherMayEnd.get_future().wait_for(10s);
            return ok();
        });
    });
    // With `other` in flight, the first attempt fails and the second follows its end.
    ASSERT_EQ(otherStarted.get_future().wait_for(10s), std::future_status::ready);
    int attempts = 0;
    const app::Outcome outcome = wait.run([&] {
        if (++attempts == 1) {
            otherMayEnd.set_value();
            return openFailed(kNoDescriptor);
        }
        return ok();
    });
    EXPECT_TRUE(outcome.succeeded());
    EXPECT_EQ(attempts, 2);
    EXPECT_TRUE(other.get().succeeded());
}

TEST(batch_descriptor_limit_test, alone_or_failing_otherwise_the_outcome_stands) {
    batch::DescriptorWait wait;
    int attempts = 0;
    // Nothing else in flight would free a descriptor: the failure is the printer's result.
    EXPECT_EQ(wait.run([&] {
                      ++attempts;
                      return openFailed(kNoDescriptor);
                  })
                  .detail,
              kNoDescriptor);
    EXPECT_EQ(attempts, 1);
    // Other failures, and a failed write that mentions the same words, are never repeated.
    EXPECT_FALSE(batch::outOfDescriptors(openFailed("network printer 127.0.0.1:9100: refused")));
    app::Outcome written = openFailed(kNoDescriptor);
    written.text = app::kWriteFailed;
    EXPECT_FALSE(batch::outOfDescriptors(written));
    EXPECT_TRUE(batch::outOfDescriptors(openFailed(kNoDescriptor)));
}
