// Waiting for a print queue to deliver: POS_EndDoc succeeds only once the server completed the
// job, and a job that is not delivered in time is cancelled, never left to print later.
#include "posdll/posdll.h"
#include "protocol/frames.h"
#include "support/bounded.h"
#include "support/child_process.h"
#include "support/cups_server.h"
#include "support/posix_peers.h"
#include "support/tcp_listener.h"

#include <cups/ipp.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace std::chrono_literals;
using testing::HasSubstr;
using testing::Not;
using testing_support::finishesWithin;

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kNoHang = 60s; // far above every wait below plus the server's answer bounds

const protocol::Frame kSelfTest = protocol::selfTestFrame();

struct Delivery {
    int end = 0, close = 0;
    std::string error; // after the end of the document
    int kind = POS_ERR_NONE;
    Clock::duration took{};
};

// One document to the queue on a thread of its own, which asks for the given delivery wait.
std::optional<Delivery> deliver(const std::string &queue, int waitMillis) {
    return finishesWithin(kNoHang, [queue, waitMillis] {
        Delivery d;
        const int handle = POS_Open(queue.c_str(), 0, 0, 0, 0, POS_PORT_SPOOL);
        POS_SetDeliveryWait(waitMillis);
        POS_StartDoc();
        POS_WriteFile(handle, kSelfTest.data(), int(kSelfTest.size()));
        const auto begin = Clock::now();
        d.end = POS_EndDoc();
        d.took = Clock::now() - begin;
        d.error = POS_LastError();
        d.kind = POS_LastErrorKind();
        d.close = POS_Close();
        return d;
    });
}

class DeliveryTest : public testing_support::NamedQueueTest {
  protected:
    std::vector<int> endedJobStates() {
        std::vector<int> states;
        for (const auto &job : cups().endedJobs(queue))
            states.push_back(job.state);
        return states;
    }
};

} // namespace

TEST_F(DeliveryTest, job_taken_by_the_printer_is_completed_when_the_document_ends) {
    testing_support::TcpListener printer;
    addQueue(printer.port());
    const auto d = deliver(queue, 30000);
    ASSERT_TRUE(d) << "the end of the document did not come back";
    EXPECT_EQ(d->end, 0) << d->error << "\n" << cups().logTail();
    EXPECT_EQ(d->close, 0);
    // Completed already, not merely queued.
    const auto jobs = cups().jobs(queue);
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].state, IPP_JSTATE_COMPLETED);
    ASSERT_TRUE(printer.waitForSessions(1, 10s));
    EXPECT_EQ(printer.sessions()[0], kSelfTest);
}

// A device that takes the connection and never reads, or no device at all: the backend keeps
// the job processing (waiting for the printer, or retrying the connection). Nobody knows
// whether such a job printed, so the message claims neither.
TEST_F(DeliveryTest, job_not_delivered_in_time_is_cancelled_and_left_nowhere) {
    struct Row {
        const char *device;
        bool listening;
    } rows[] = {{"never reads", true}, {"nothing listens", false}};
    for (const Row &r : rows) {
        SCOPED_TRACE(r.device);
        const testing_support::Listener silent; // accepted by the kernel, never read
        const testing_support::ClosedPort closed;
        addQueue(r.listening ? silent.port() : closed.port);
        const auto d = deliver(queue, 1000);
        ASSERT_TRUE(d) << "the end of the document did not come back";
        EXPECT_EQ(d->end, -1);
        EXPECT_THAT(d->error, HasSubstr("'" + queue + "'"));
        EXPECT_THAT(d->error, HasSubstr("delivery not confirmed within 1 s; job "));
        EXPECT_THAT(d->error, HasSubstr(" cancelled (the printer may have printed it); it was "
                                        "processing"));
        EXPECT_EQ(d->kind, POS_ERR_TIMEOUT);
        EXPECT_GE(d->took, 1s) << "gave up before the wait was over";
        EXPECT_EQ(d->close, 0);
        EXPECT_EQ(endedJobStates(), std::vector<int>{IPP_JSTATE_CANCELED}) << cups().logTail();
        std::string why;
        ASSERT_TRUE(cups().removeAllQueues(why)) << why;
    }
}

TEST_F(DeliveryTest, job_the_server_ends_while_waiting_fails_at_once_without_a_cancel) {
    const testing_support::Listener silent;
    addQueue(silent.port());
    std::thread canceller([q = queue, this] {
        const auto until = Clock::now() + 20s;
        auto processing = [&] {
            const auto jobs = cups().jobs(q);
            return !jobs.empty() && jobs.back().state == IPP_JSTATE_PROCESSING;
        };
        while (!processing() && Clock::now() < until)
            std::this_thread::sleep_for(20ms);
        testing_support::runTool({"cancel", "-a", q});
    });
    const auto d = deliver(queue, 40000);
    canceller.join();
    ASSERT_TRUE(d) << "the end of the document did not come back";
    EXPECT_EQ(d->end, -1);
    EXPECT_THAT(d->error, HasSubstr("was not delivered: the print server ended it, cancelled"));
    EXPECT_THAT(d->error, Not(HasSubstr("is cancelled")));
    EXPECT_LT(d->took, 30s) << "waited for the whole delivery time";
    EXPECT_EQ(d->close, 0);
    EXPECT_EQ(endedJobStates(), std::vector<int>{IPP_JSTATE_CANCELED});
}

TEST(delivery_wait, negative_wait_is_refused) {
    EXPECT_EQ(POS_SetDeliveryWait(-1), -1);
    EXPECT_THAT(POS_LastError(), HasSubstr("-1 ms"));
    EXPECT_EQ(POS_SetDeliveryWait(0), 0); // back to not waiting
}
