// The DRIVER port: frames through a real queue of a private cupsd to a listener behind it.
#include "app/actions.h"
#include "app/message.h"
#include "device/PosdllFuncs.h"
#include "device/port_access.h"
#include "posdll/posdll.h"
#include "protocol/frames.h"
#include "support/bounded.h"
#include "support/child_process.h"
#include "support/cups_server.h"
#include "support/tcp_listener.h"

#include <cstdio>
#include <cups/ipp.h>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace std::chrono_literals;
using protocol::Frame;
using testing::HasSubstr;
using testing_support::finishesWithin;
using testing_support::runTool;
using testing_support::TcpListener;

namespace {

constexpr auto kDelivery = 20s; // a job goes through cupsd and its socket backend
constexpr auto kNoHang = 20s;   // every wait of the library is bounded far below this

const Frame kStoreSetting9600 = {0x1F, 0x1B, 0x1F, 0xA1, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0xBD};
const Frame kSelfTest = protocol::selfTestFrame();

class SpoolTest : public testing_support::QueueTest {
  protected:
    app::ActionInputs driverInputs(const std::string &printerName) const {
        app::ActionInputs in;
        in.port = {"DRIVER", "127.0.0.1", "19200", printerName};
        in.choices.baud = protocol::Baud::Rate9600; // a setting byte other than the default
        return in;
    }
};

struct Calls {
    int open = 0, start = 0, again = 0, write = 0, end = 0, close = 0;
    std::string error; // POS_LastError after the step that matters to the test
};

// What the window would show after the action, through the real library.
app::Message shown(app::Action action, const app::ActionInputs &in) {
    return app::messageFor(action, app::runAction(action, in, device::libraryPosdll()));
}

int openQueue(const std::string &name) {
    return POS_Open(name.c_str(), 0, 0, 0, 0, POS_PORT_SPOOL);
}

} // namespace

TEST_F(SpoolTest, store_setting_and_selftest_arrive_unchanged_through_the_actions) {
    const app::Message stored = shown(app::Action::StoreSetting, driverInputs(queue));
    EXPECT_EQ(stored.title, "info");
    EXPECT_EQ(stored.text, app::kRestart) << stored.detail;
    ASSERT_TRUE(printer.waitForSessions(1, kDelivery)) << cups().logTail();

    const app::Message selftest = shown(app::Action::PrintSelfTest, driverInputs(queue));
    EXPECT_EQ(selftest.kind, app::MessageKind::Silent) << selftest.text << ": " << selftest.detail;
    ASSERT_TRUE(printer.waitForSessions(2, kDelivery)) << cups().logTail();

    const auto got = printer.sessions();
    EXPECT_EQ(got[0], kStoreSetting9600);
    EXPECT_EQ(got[1], kSelfTest);

    const auto jobs = cups().jobs(queue);
    ASSERT_EQ(jobs.size(), 2u);
    EXPECT_EQ(jobs[0].title, "posdip: Store Setting");
    EXPECT_EQ(jobs[1].title, "posdip: Print Selftest");
    for (const auto &job : jobs)
        EXPECT_EQ(job.format, "application/vnd.cups-raw") << job.title;
}

// A driver that takes PostScript and whose filter would fail every job it ran on.
constexpr const char *kDriverPpd = R"PPD(*PPD-Adobe: "4.3"
*FormatVersion: "4.3"
*FileVersion: "1.0"
*LanguageVersion: English
*LanguageEncoding: ISOLatin1
*PCFileName: "RECEIPT.PPD"
*Manufacturer: "posdip tests"
*Product: "(Receipt)"
*ModelName: "posdip test driver"
*ShortNickName: "posdip test driver"
*NickName: "posdip test driver"
*PSVersion: "(3010.000) 0"
*LanguageLevel: "3"
*ColorDevice: False
*DefaultColorSpace: Gray
*FileSystem: False
*Throughput: "1"
*LandscapeOrientation: Plus90
*TTRasterizer: Type42
*cupsFilter: "application/vnd.cups-postscript 0 /bin/false"
*OpenUI *PageSize: PickOne
*DefaultPageSize: Roll
*PageSize Roll: ""
*CloseUI: *PageSize
*DefaultPageRegion: Roll
*PageRegion Roll: ""
*DefaultImageableArea: Roll
*ImageableArea Roll: "0 0 204 800"
*DefaultPaperDimension: Roll
*PaperDimension Roll: "204 800"
)PPD";

// The socket backend asks a queue with a driver for supplies over SNMP (to 127.0.0.1), which
// takes it a few seconds before it connects.
TEST_F(SpoolTest, a_queue_with_a_driver_is_bypassed) {
    const std::string ppd = testing::TempDir() + "posdip-test-driver.ppd";
    std::ofstream(ppd) << kDriverPpd;
    TcpListener behindDriver;
    std::string why;
    const bool added = cups().addQueue("with_driver", behindDriver.port(), why, ppd);
    std::remove(ppd.c_str());
    ASSERT_TRUE(added) << why;
    const auto out = shown(app::Action::StoreSetting, driverInputs("with_driver"));
    EXPECT_EQ(out.text, app::kRestart) << out.detail;
    ASSERT_TRUE(behindDriver.waitForSessions(1, kDelivery)) << cups().logTail();
    EXPECT_EQ(behindDriver.sessions()[0], kStoreSetting9600);
}

TEST_F(SpoolTest, library_calls_stream_one_job_in_pieces) {
    const auto calls = finishesWithin(kNoHang, [q = queue] {
        Calls c;
        c.open = openQueue(q);
        POS_SetDocName("posdip: Print Selftest");
        c.start = POS_StartDoc();
        c.write = POS_WriteFile(c.open, kSelfTest.data(), 5);
        c.write += POS_WriteFile(c.open, kSelfTest.data() + 5, 7);
        c.end = POS_EndDoc();
        c.error = POS_LastError();
        c.close = POS_Close();
        return c;
    });
    ASSERT_TRUE(calls);
    EXPECT_GT(calls->open, 0) << calls->error;
    EXPECT_EQ(calls->start, 0) << calls->error;
    EXPECT_EQ(calls->write, 12);
    EXPECT_EQ(calls->end, 0) << calls->error;
    EXPECT_EQ(calls->close, 0);
    ASSERT_TRUE(printer.waitForSessions(1, kDelivery)) << cups().logTail();
    EXPECT_EQ(printer.sessions(), std::vector<Frame>{kSelfTest});
}

TEST_F(SpoolTest, missing_queue_names_queue_and_server) {
    const auto out = shown(app::Action::StoreSetting, driverInputs("no_such_queue"));
    EXPECT_EQ(out.title, "error");
    EXPECT_EQ(out.text, app::kOpenFailed);
    EXPECT_THAT(out.detail, HasSubstr("'no_such_queue'"));
    EXPECT_THAT(out.detail, HasSubstr(cups().address()));
    EXPECT_THAT(out.detail, HasSubstr("no such queue"));
}

TEST_F(SpoolTest, stopped_or_rejecting_queue_refuses_the_open_with_its_reason) {
    struct Row {
        const char *tool, *reason, *says, *remedy;
    } rows[] = {
        {"cupsdisable", "paper out in the test", "is stopped", "cupsenable"},
        {"cupsreject", "closed for the test", "does not accept jobs", "cupsaccept"},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.tool);
        const auto set = runTool({r.tool, "-r", r.reason, queue});
        ASSERT_TRUE(set.ok()) << set.output;
        EXPECT_EQ(openQueue(queue), -1);
        const std::string error = POS_LastError();
        EXPECT_THAT(error, HasSubstr("'" + queue + "'"));
        EXPECT_THAT(error, HasSubstr(cups().address()));
        EXPECT_THAT(error, HasSubstr(r.says));
        EXPECT_THAT(error, HasSubstr(r.reason));
        EXPECT_THAT(error, HasSubstr(r.remedy));
        const auto undo = runTool({r.remedy, queue});
        ASSERT_TRUE(undo.ok()) << undo.output;
    }
    EXPECT_TRUE(cups().jobs(queue).empty());
    // Both undone, the queue takes a frame again.
    const auto out =
        app::runAction(app::Action::PrintSelfTest, driverInputs(queue), device::libraryPosdll());
    EXPECT_TRUE(out.succeeded()) << out.reason;
    ASSERT_TRUE(printer.waitForSessions(1, kDelivery)) << cups().logTail();
    EXPECT_EQ(printer.sessions()[0], kSelfTest);
}

TEST_F(SpoolTest, job_refused_after_the_open_is_a_failed_write_with_cups_reason) {
    const auto w = finishesWithin(kNoHang, [q = queue] {
        const int handle = openQueue(q);
        runTool({"cupsreject", q});
        return device::writeTransaction(device::libraryPosdll(), handle, kSelfTest,
                                        "posdip: Print Selftest");
    });
    ASSERT_TRUE(w);
    EXPECT_FALSE(w->ok);
    EXPECT_THAT(w->reason, HasSubstr("start of document failed"));
    EXPECT_THAT(w->reason, HasSubstr("the job was not created"));
    EXPECT_THAT(w->reason, HasSubstr("not accepting jobs")); // CUPS's own words
    EXPECT_EQ(printer.accepted(), 0);
}

TEST_F(SpoolTest, server_down_before_the_open_fails_the_open) {
    cups().stop();
    const auto out = finishesWithin(
        kNoHang, [in = driverInputs(queue)] { return shown(app::Action::StoreSetting, in); });
    ASSERT_TRUE(out) << "the open did not come back";
    EXPECT_EQ(out->text, app::kOpenFailed);
    EXPECT_THAT(out->detail, HasSubstr("the print server at " + cups().address() +
                                       " is not running (connection refused)"));
    EXPECT_THAT(out->detail, HasSubstr("'" + queue + "'"));
}

TEST_F(SpoolTest, server_down_after_the_open_fails_the_document) {
    struct Row {
        bool stopBeforeStart; // else after the job was created
    } rows[] = {{true}, {false}};
    for (const Row &r : rows) {
        SCOPED_TRACE(r.stopBeforeStart ? "stopped before the job" : "stopped during the job");
        std::string why;
        ASSERT_TRUE(cups().start(why)) << why;
        testing_support::CupsServer *server = &cups();
        const auto calls = finishesWithin(kNoHang, [q = queue, server, r] {
            Calls c;
            c.open = openQueue(q);
            if (r.stopBeforeStart)
                server->stop();
            c.start = POS_StartDoc();
            if (!r.stopBeforeStart)
                server->stop();
            c.write = POS_WriteFile(c.open, kStoreSetting9600.data(), 11);
            c.end = POS_EndDoc();
            c.error = POS_LastError();
            c.close = POS_Close();
            return c;
        });
        ASSERT_TRUE(calls) << "a call did not come back";
        EXPECT_GT(calls->open, 0);
        EXPECT_EQ(calls->start, r.stopBeforeStart ? -1 : 0);
        EXPECT_EQ(calls->end, -1);
        EXPECT_THAT(calls->error, HasSubstr("'" + queue + "'"));
        EXPECT_THAT(calls->error, HasSubstr(cups().address()));
    }
    EXPECT_EQ(printer.accepted(), 0);
}

TEST_F(SpoolTest, silent_server_fails_the_open_in_bounded_time) {
    const testing_support::ShortServerWaits shortWaits;
    cups().pause();
    const auto calls = finishesWithin(kNoHang, [q = queue] {
        Calls c;
        c.open = openQueue(q);
        c.error = POS_LastError();
        return c;
    });
    cups().resume();
    ASSERT_TRUE(calls) << "the open waited without bound";
    EXPECT_EQ(calls->open, -1);
    EXPECT_THAT(calls->error, HasSubstr("did not answer: no answer within 300 ms"));
    EXPECT_THAT(calls->error, HasSubstr("'" + queue + "'"));
}

TEST_F(SpoolTest, unfinished_document_is_cancelled_not_printed) {
    const auto calls = finishesWithin(kNoHang, [q = queue] {
        Calls c;
        c.open = openQueue(q);
        c.write = POS_WriteFile(c.open, kSelfTest.data(), 12); // before any document
        c.error = POS_LastError();
        c.start = POS_StartDoc();
        c.again = POS_StartDoc(); // one document at a time
        POS_WriteFile(c.open, kSelfTest.data(), 6);
        c.close = POS_Close(); // without POS_EndDoc
        return c;
    });
    ASSERT_TRUE(calls);
    EXPECT_EQ(calls->write, -1);
    EXPECT_THAT(calls->error, HasSubstr("no document is started"));
    EXPECT_EQ(calls->start, 0);
    EXPECT_EQ(calls->again, -1);
    EXPECT_EQ(calls->close, 0);
    const auto jobs = cups().jobs(queue);
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].state, IPP_JSTATE_CANCELED);
    EXPECT_EQ(printer.accepted(), 0);
}

TEST_F(SpoolTest, names_that_cannot_be_queues_are_refused_before_the_server) {
    for (const char *name : {"", "two words", "a/b", "hash#", "quote'"}) {
        EXPECT_EQ(openQueue(name), -1) << name;
        EXPECT_THAT(POS_LastError(), HasSubstr("not a queue name")) << name;
    }
    EXPECT_EQ(openQueue(std::string(128, 'q')), -1);
}
