// A print server that hangs or dies while a document is on its way, through a proxy in front of
// the private cupsd: every call comes back within its bound, success is claimed only for a job
// the server confirmed, "cancelled" only for a cancel it confirmed, and nothing is left open.
#include "posdll/posdll.h"
#include "protocol/frames.h"
#include "support/bounded.h"
#include "support/child_process.h"
#include "support/cups_fault_proxy.h"
#include "support/cups_server.h"
#include "support/posix_peers.h"
#include "support/tcp_listener.h"

#include <cups/ipp.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

using namespace std::chrono_literals;
using testing::Contains;
using testing::HasSubstr;
using testing::Not;
using testing_support::CupsFaultProxy;
using Later = testing_support::CupsFaultProxy::Later;

namespace {

using Clock = std::chrono::steady_clock;

// Each server step may take its answer bound (500 ms here) and a cancel one more connect and
// answer: the worst action is about 1.5 s. The limits leave room for a loaded machine.
constexpr auto kActionBound = 6s;
constexpr auto kNoHang = 60s;

const protocol::Frame kSelfTest = protocol::selfTestFrame();

enum class Step { Open, Start, Write, End, None };
enum class JobFate { NeverCreated, Cancelled, LeftWaiting, CancelledOrPrinted };

struct Outcome {
    Step failed = Step::None;
    std::string reason; // of the first failing call
    int kind = POS_ERR_NONE;
    int close = 0;
    Clock::duration took{};
};

// One document through the library, with the fault set off after `strikeAfter`.
Outcome runDocument(const std::string &queue, Step strikeAfter,
                    const std::function<void()> &fault) {
    Outcome o;
    const auto begin = Clock::now();
    auto note = [&o](Step step, bool ok) {
        if (!ok && o.failed == Step::None) {
            o.failed = step;
            o.reason = POS_LastError();
            o.kind = POS_LastErrorKind();
        }
        return ok;
    };
    const int handle = POS_Open(queue.c_str(), 0, 0, 0, 0, POS_PORT_SPOOL);
    if (note(Step::Open, handle > 0)) {
        if (strikeAfter == Step::Open)
            fault();
        note(Step::Start, POS_StartDoc() == 0);
        if (strikeAfter == Step::Start)
            fault();
        note(Step::Write, POS_WriteFile(handle, kSelfTest.data(), int(kSelfTest.size())) ==
                              int(kSelfTest.size()));
        note(Step::End, POS_EndDoc() == 0);
        o.close = POS_Close();
    }
    o.took = Clock::now() - begin;
    return o;
}

bool settled(int state) {
    return state == IPP_JSTATE_CANCELED || state == IPP_JSTATE_ABORTED ||
           state == IPP_JSTATE_COMPLETED;
}

class SpoolFaultTest : public testing_support::QueueTest {};

struct Row {
    const char *what;
    Step strikeAfter;
    std::function<void(CupsFaultProxy &)> fault;
    std::vector<Step> fails; // the call that fails first (when the reset arrives is a race)
    std::vector<std::string> says;
    JobFate fate;
    int kind = POS_ERR_TIMEOUT; // a server that does not answer, as when a status asks it
};

} // namespace

TEST_F(SpoolFaultTest, hung_or_dead_server_fails_the_action_in_time) {
    const testing_support::ShortServerWaits shortWaits(500); // the proxy passes answers
    const Row rows[] = {
        {"hangs before the job is created",
         Step::Open,
         [](CupsFaultProxy &p) { p.stallAfter(0, Later::Hang); },
         {Step::Start},
         {"the job was not created: no answer within 500 ms"},
         JobFate::NeverCreated},
        {"stops answering on the document's connection",
         Step::Start,
         [](CupsFaultProxy &p) { p.stallAfter(0, Later::Pass); },
         {Step::End},
         {" is cancelled: was not taken: no answer within 500 ms"},
         JobFate::Cancelled},
        {"hangs while the document is on its way",
         Step::Start,
         [](CupsFaultProxy &p) { p.stallAfter(0, Later::Hang); },
         {Step::End},
         {" could not be cancelled (no answer within 500 ms): was not taken: no answer within 500 "
          "ms"},
         JobFate::LeftWaiting},
        {"answers the document, then stops answering",
         Step::Start,
         [](CupsFaultProxy &p) { p.stallAfter(1, Later::Pass); },
         {Step::End},
         {"the print server did not say whether the queue runs: no answer within 500 ms"},
         JobFate::CancelledOrPrinted},
        {"resets every connection when the document starts",
         Step::Open,
         [](CupsFaultProxy &p) { p.resetAtDocument(Later::Pass); },
         {Step::Start, Step::End},
         {" is cancelled: "},
         JobFate::Cancelled,
         POS_ERR_NONE},
        {"dies when the document starts",
         Step::Open,
         [](CupsFaultProxy &p) { p.resetAtDocument(Later::Refused); },
         {Step::Start, Step::End},
         {" could not be cancelled (the print server at "},
         JobFate::LeftWaiting,
         POS_ERR_NONE},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        const auto fdsBefore = testing_support::openDescriptors();
        const int jobsBefore = static_cast<int>(cups().jobs(queue).size());
        const int printedBefore = printer.accepted();
        std::optional<Outcome> out;
        {
            CupsFaultProxy proxy(cups().port());
            const testing_support::ScopedEnv server("CUPS_SERVER", proxy.address());
            out = testing_support::finishesWithin(kNoHang, [q = queue, &row, &proxy] {
                return runDocument(q, row.strikeAfter, [&] { row.fault(proxy); });
            });
            ASSERT_TRUE(out) << "a call waited without bound";
        }
        EXPECT_LT(out->took, kActionBound);
        EXPECT_THAT(row.fails, Contains(out->failed)) << out->reason;
        EXPECT_THAT(out->reason, HasSubstr("print queue '" + queue + "'"));
        if (row.kind != POS_ERR_NONE) { // a reset is no answer too, but no timeout
            EXPECT_EQ(out->kind, row.kind) << out->reason;
        }
        for (const std::string &s : row.says)
            EXPECT_THAT(out->reason, HasSubstr(s));
        printer.waitForSessions(printer.accepted(), 10s); // the printer's end of a job that ran
        const auto fdsAfter = testing_support::openDescriptors();
        EXPECT_EQ(fdsAfter.size(), fdsBefore.size()) << "a descriptor was left open";

        const auto jobs = cups().jobs(queue);
        const auto created = jobs.begin() + std::min<std::ptrdiff_t>(jobsBefore, jobs.size());
        switch (row.fate) {
        case JobFate::NeverCreated:
            EXPECT_EQ(created, jobs.end()) << "a job was created";
            break;
        case JobFate::Cancelled:
            ASSERT_EQ(jobs.end() - created, 1);
            EXPECT_EQ(created->state, IPP_JSTATE_CANCELED);
            EXPECT_THAT(out->reason, HasSubstr("job " + std::to_string(created->id)));
            break;
        case JobFate::LeftWaiting: // the server could not be reached to cancel it
            ASSERT_EQ(jobs.end() - created, 1);
            EXPECT_FALSE(settled(created->state));
            EXPECT_THAT(out->reason, HasSubstr("job " + std::to_string(created->id)));
            testing_support::runTool({"cancel", std::to_string(created->id)});
            break;
        case JobFate::CancelledOrPrinted: // handed over; the server may have printed it at once
            ASSERT_EQ(jobs.end() - created, 1);
            EXPECT_TRUE(created->state == IPP_JSTATE_CANCELED ||
                        created->state == IPP_JSTATE_COMPLETED);
            EXPECT_THAT(out->reason, HasSubstr("job " + std::to_string(created->id)));
            continue;
        }
        EXPECT_EQ(printer.accepted(), printedBefore) << "a broken-off document reached the printer";
    }
    for (const auto &job : cups().jobs(queue))
        EXPECT_TRUE(settled(job.state)) << "job " << job.id << " was left in state " << job.state;
}

TEST_F(SpoolFaultTest, reasons_show_control_characters_of_queue_and_server_escaped) {
    const std::string name = "esc\xC2\x9B"
                             "31m";
    std::string why;
    ASSERT_TRUE(cups().addQueue(name, printer.port(), why)) << why;
    const auto stopped = testing_support::runTool({"cupsdisable", "-r", "jam\x1B[2J", name});
    ASSERT_TRUE(stopped.ok()) << stopped.output;
    const auto out = testing_support::finishesWithin(
        kNoHang, [name] { return runDocument(name, Step::None, [] {}); });
    testing_support::runTool({"lpadmin", "-x", name});
    ASSERT_TRUE(out);
    EXPECT_EQ(out->failed, Step::Open);
    EXPECT_THAT(out->reason, HasSubstr("'esc\\x9B31m'"));
    EXPECT_THAT(out->reason, HasSubstr("('jam\\x1B[2J')"));
    EXPECT_THAT(out->reason, Not(HasSubstr("\x1B")));
    EXPECT_THAT(out->reason, Not(HasSubstr("\xC2\x9B")));
}

// A thread that ends with its document unfinished takes its port with it: the job is cancelled,
// not left waiting for the rest of its document.
TEST_F(SpoolFaultTest, document_left_unfinished_by_an_ending_thread_is_cancelled) {
    const auto fdsBefore = testing_support::openDescriptors();
    const auto started = testing_support::finishesWithin(kNoHang, [q = queue] {
        std::thread([q] {
            const int handle = POS_Open(q.c_str(), 0, 0, 0, 0, POS_PORT_SPOOL);
            POS_StartDoc();
            POS_WriteFile(handle, kSelfTest.data(), 5);
        }).join();
        return true;
    });
    ASSERT_TRUE(started);
    const auto jobs = cups().jobs(queue);
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].state, IPP_JSTATE_CANCELED);
    EXPECT_EQ(printer.accepted(), 0);
    EXPECT_EQ(testing_support::openDescriptors().size(), fdsBefore.size());
}

// libcups sets SIGPIPE to be ignored when it first connects. In a process where nothing else used
// it, a queue action leaves SIGPIPE as the program set it, and a server that resets the
// connection while libcups writes does not end the program.
TEST_F(SpoolFaultTest, queue_action_leaves_sigpipe_as_the_program_set_it) {
    struct ProbeRow {
        const char *disposition;
        bool reset;
    } rows[] = {{"default", true}, {"ignore", false}};
    for (const ProbeRow &r : rows) {
        SCOPED_TRACE(r.disposition);
        CupsFaultProxy proxy(cups().port());
        if (r.reset)
            proxy.resetAtDocument(Later::Pass);
        const testing_support::ScopedEnv server("CUPS_SERVER", proxy.address());
        const auto run = testing_support::runTool({SIGPIPE_PROBE, queue, r.disposition});
        EXPECT_EQ(run.status, 0) << run.output; // -1: ended by a signal
        EXPECT_THAT(run.output, HasSubstr(std::string("SIGPIPE ") + r.disposition));
        EXPECT_THAT(run.output, HasSubstr(r.reset ? "end -1" : "end 0"));
    }
}
