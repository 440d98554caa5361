// The built posdip-cli with print queues of a private cupsd, each in front of a loopback
// listener. The child inherits CUPS_SERVER from the fixture, so it never meets the machine's
// own scheduler.
#include "run_cli.h"
#include "support/child_process.h"
#include "support/cups_server.h"
#include "support/posix_peers.h"
#include "support/tcp_listener.h"

#include <cups/ipp.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

using cli_test::runCliBinary;
using testing_support::TcpListener;
using Bytes = TcpListener::Bytes;
using namespace std::chrono_literals;

namespace {

constexpr auto kDelivery = 20s; // a job goes through cupsd and its socket backend

const Bytes kDisable = {0x1F, 0x1B, 0x1F, 0xC0, 0x15, 0x14, 0x13, 0x12, 0x11, 0x10, 0x77};

// "127.0.0.1:PORT", as --ip and the targets file take it.
std::string addressOf(const TcpListener &l) {
    return "127.0.0.1:" + std::to_string(l.port());
}

class CliCupsTest : public testing_support::EmptyCupsTest {
  protected:
    void SetUp() override {
        EmptyCupsTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        std::string why;
        ASSERT_TRUE(cups().addQueue("Kitchen", kitchen.port(), why)) << why;
        ASSERT_TRUE(cups().addQueue("Bar", bar.port(), why)) << why;
    }
    TcpListener kitchen, bar;
};

} // namespace

TEST_F(CliCupsTest, printers_lists_the_queues) {
    const auto r = runCliBinary({"printers"});
    EXPECT_EQ(r.status, 0) << r.err;
    // Both queues, whatever order the scheduler gives.
    EXPECT_TRUE(r.out == "Bar\nKitchen\n" || r.out == "Kitchen\nBar\n") << r.out;
    // Each queue's state, as lpstat -p -v shows it: Bar stopped and refusing jobs.
    ASSERT_EQ(testing_support::runTool({"cupsdisable", "Bar"}).status, 0);
    ASSERT_EQ(testing_support::runTool({"cupsreject", "Bar"}).status, 0);
    const auto j = runCliBinary({"printers", "--json"});
    EXPECT_NE(j.out.find(R"({"schema":2,"printer":"Kitchen","state":"idle","accepting":true,)"
                         R"("device_uri":"socket://127.0.0.1:)" +
                         std::to_string(kitchen.port()) + "\"}\n"),
              std::string::npos)
        << j.out;
    EXPECT_NE(j.out.find(R"({"schema":2,"printer":"Bar","state":"stopped","accepting":false,)"),
              std::string::npos)
        << j.out;
}

TEST_F(CliCupsTest, store_through_a_queue_reaches_the_printer_behind_it) {
    const auto r = runCliBinary({"store", "--port", "DRIVER", "--printer", "Kitchen", "--chars",
                                 "42", "--set-baud", "9600"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "DRIVER Kitchen: spooled: Please Restart Printer.\n");
    ASSERT_TRUE(kitchen.waitForSessions(1, kDelivery)) << cups().logTail();
    EXPECT_EQ(kitchen.sessions()[0],
              (Bytes{0x1F, 0x1B, 0x1F, 0xA1, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0xAD}));
}

TEST_F(CliCupsTest, a_mixed_list_serves_queues_and_network_printers_in_order) {
    TcpListener direct;
    const std::string list = ::testing::TempDir() + "posdip_cli_mixed.txt";
    std::ofstream(list) << "DRIVER Kitchen\nETHERNET " << addressOf(direct)
                        << "\nDRIVER Nowhere\nDRIVER Bar\n";
    const auto r = runCliBinary({"disable", "--targets", list, "-j", "2"});
    EXPECT_EQ(r.status, 1) << r.err;
    const std::string expected = "DRIVER Kitchen: spooled: Please Restart Printer First!\n"
                                 "ETHERNET " +
                                 addressOf(direct) +
                                 ": ok: Please Restart Printer First!\n"
                                 "DRIVER Nowhere: failed: Fail to open port,please check! (";
    EXPECT_EQ(r.out.rfind(expected, 0), 0u) << r.out;
    EXPECT_NE(r.out.find("Nowhere"), std::string::npos);
    EXPECT_NE(r.out.find("\nDRIVER Bar: spooled: Please Restart Printer First!\n"),
              std::string::npos)
        << r.out;
    for (TcpListener *l : {&kitchen, &bar, &direct}) {
        ASSERT_TRUE(l->waitForSessions(1, kDelivery)) << cups().logTail();
        EXPECT_EQ(l->sessions()[0], kDisable);
    }
}

// With --wait the line says ok only for a job the printer took; a queue whose printer never
// reads fails, and its job is cancelled rather than left to print later.
TEST_F(CliCupsTest, wait_reports_delivered_jobs_ok_and_cancels_those_not_delivered) {
    const testing_support::Listener neverReads;
    std::string why;
    ASSERT_TRUE(cups().addQueue("Jammed", neverReads.port(), why)) << why;
    const std::string list = ::testing::TempDir() + "posdip_cli_wait.txt";
    std::ofstream(list) << "DRIVER Kitchen\nDRIVER Jammed\n";
    const auto r = runCliBinary({"disable", "--targets", list, "--wait", "2"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.out.rfind("DRIVER Kitchen: ok: Please Restart Printer First!\n"
                          "DRIVER Jammed: failed: Fail to write to port,please check! (",
                          0),
              0u)
        << r.out;
    EXPECT_NE(r.out.find("delivery not confirmed within 2 s; job "), std::string::npos) << r.out;
    const auto kitchenJobs = cups().jobs("Kitchen");
    ASSERT_EQ(kitchenJobs.size(), 1u);
    EXPECT_EQ(kitchenJobs[0].state, IPP_JSTATE_COMPLETED);
    ASSERT_TRUE(kitchen.waitForSessions(1, kDelivery));
    EXPECT_EQ(kitchen.sessions()[0], kDisable);
    // The cancelled job ends once its backend is stopped.
    const auto jammed = cups().endedJobs("Jammed");
    ASSERT_EQ(jammed.size(), 1u);
    EXPECT_EQ(jammed[0].state, IPP_JSTATE_CANCELED);
}

// A signal during a long --wait on a printer that never confirms: the first cuts the wait to
// 5 s more, the second ends it within 2 s; either way the job is cancelled and reported.
TEST_F(CliCupsTest, signals_cut_a_delivery_wait_short_and_report_the_cancelled_job) {
    struct Row {
        std::vector<cli_test::SignalLater> signals;
        std::chrono::seconds within; // from the start, with slack for the loaded machine
    } rows[] = {{{{SIGTERM, "", 1s}}, 5s}, {{{SIGINT, "", 1s}, {SIGINT, "", 200ms}}, 5s}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.signals.size());
        const testing_support::Listener neverConfirms;
        std::string why;
        ASSERT_TRUE(cups().addQueue("Jammed", neverConfirms.port(), why)) << why;
        cli_test::CliSetup setup;
        setup.signals = row.signals;
        setup.env = {"POSDIP_SIGNAL_WAIT_MILLIS=1000"}; // not the 5 s a user gets
        setup.limit = 40s;
        const auto begin = std::chrono::steady_clock::now();
        const auto r = runCliBinary(
            {"enable", "--port", "DRIVER", "--printer", "Jammed", "--wait", "30"}, setup);
        EXPECT_LT(std::chrono::steady_clock::now() - begin, row.within) << r.out << r.err;
        EXPECT_EQ(r.status, 128 + row.signals[0].number) << r.err;
        EXPECT_NE(r.out.find("DRIVER Jammed: failed: "), std::string::npos) << r.out << r.err;
        EXPECT_NE(r.out.find("(the wait was cut short); job "), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(" cancelled (the printer may have printed it)"), std::string::npos)
            << r.out;
        const auto jobs = cups().endedJobs("Jammed");
        ASSERT_EQ(jobs.size(), 1u);
        EXPECT_EQ(jobs[0].state, IPP_JSTATE_CANCELED);
        ASSERT_TRUE(cups().removeAllQueues(why)) << why;
    }
}

TEST_F(CliCupsTest, status_of_a_queue_is_the_queues_own_and_says_so) {
    const auto ready = runCliBinary({"status", "--port", "DRIVER", "--printer", "Kitchen"});
    EXPECT_EQ(ready.status, 0) << ready.out << ready.err;
    EXPECT_EQ(ready.out,
              "DRIVER Kitchen: queue accepts jobs (the print queue's state, not the printer's)\n");
    EXPECT_TRUE(kitchen.sessions().empty()) << "nothing reaches the printer behind the queue";

    ASSERT_EQ(
        testing_support::runTool({"cupsdisable", "-r", "paper jam in the test", "Kitchen"}).status,
        0);
    const auto stopped =
        runCliBinary({"status", "--json", "--port", "DRIVER", "--printer", "Kitchen"});
    EXPECT_EQ(stopped.status, 1);
    EXPECT_NE(stopped.out.find(R"("ok":false,"kind":"queue","stage":"status")"), std::string::npos)
        << stopped.out;
    EXPECT_NE(stopped.out.find(R"("status":{"queue":"Kitchen","accepting":true,"stopped":true,)"
                               R"("reason":"paper jam in the test","source":"queue"})"),
              std::string::npos)
        << stopped.out;
    // The same words and remedy as a job refused by the stopped queue.
    const auto said = runCliBinary({"status", "--port", "DRIVER", "--printer", "Kitchen"});
    EXPECT_NE(said.out.find("print queue 'Kitchen': the queue is stopped ('paper jam in the "
                            "test'); cupsenable 'Kitchen' starts it"),
              std::string::npos)
        << said.out;

    const auto missing =
        runCliBinary({"status", "--json", "--port", "DRIVER", "--printer", "Cellar"});
    EXPECT_NE(missing.out.find(R"("kind":"missing","stage":"open")"), std::string::npos)
        << missing.out;
}

// A queue passes nothing back from its printer: what its server knows decides. In front of a
// printer --verify sends; in front of a closed port, with a job the backend cannot deliver, the
// queue is not ready and --verify sends nothing.
TEST_F(CliCupsTest, verify_and_status_of_a_queue_follow_what_its_server_knows_of_the_printer) {
    const auto sent = runCliBinary(
        {"selftest", "--verify", "--json", "--port", "DRIVER", "--printer", "Kitchen"});
    EXPECT_EQ(sent.status, 0) << sent.out << sent.err;
    EXPECT_NE(sent.out.find(R"("ok":true,"kind":"spooled")"), std::string::npos) << sent.out;
    ASSERT_TRUE(kitchen.waitForSessions(1, kDelivery)) << cups().logTail();

    const testing_support::ClosedPort closed;
    std::string why;
    ASSERT_TRUE(cups().addQueue("Gone", closed.port, why)) << why;
    testing_support::TempDir dir;
    std::ofstream(dir.file("job")) << "x";
    ASSERT_TRUE(testing_support::runTool({"lp", "-d", "Gone", "-o", "raw", dir.file("job")}).ok());
    const std::vector<std::string> status = {"status", "--json",    "--port",
                                             "DRIVER", "--printer", "Gone"};
    auto stuck = runCliBinary(status); // ready until the backend has tried the port
    for (const auto end = std::chrono::steady_clock::now() + kDelivery;
         stuck.status == 0 && std::chrono::steady_clock::now() < end;
         std::this_thread::sleep_for(200ms))
        stuck = runCliBinary(status);
    EXPECT_EQ(stuck.status, 1) << stuck.out;
    EXPECT_NE(stuck.out.find(R"("ok":false,"kind":"not-ready","stage":"status")"),
              std::string::npos)
        << stuck.out;
    EXPECT_NE(stuck.out.find("may not exist or is unavailable"), std::string::npos) << stuck.out;
    const auto refused =
        runCliBinary({"selftest", "--verify", "--json", "--port", "DRIVER", "--printer", "Gone"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.out.find(R"("kind":"not-ready","stage":"status")"), std::string::npos)
        << refused.out;
    EXPECT_NE(refused.out.find("nothing was sent"), std::string::npos) << refused.out;
    EXPECT_EQ(cups().jobs("Gone").size(), 1u) << "verify made a job";
    testing_support::runTool({"cancel", "-a", "Gone"});
}

// The same kinds a job to the queue would end with, so a script tells a server that is down from
// one that hangs.
TEST_F(CliCupsTest, status_of_a_queue_on_an_unreachable_or_silent_server_says_which) {
    const std::vector<std::string> status = {"status", "--json",    "--port",
                                             "DRIVER", "--printer", "Kitchen"};
    const testing_support::ShortServerWaits shortWaits;
    cups().pause();
    const auto silent = runCliBinary(status);
    cups().resume();
    EXPECT_EQ(silent.status, 1);
    EXPECT_NE(silent.out.find(R"("ok":false,"kind":"timeout","stage":"open")"), std::string::npos)
        << silent.out;

    cups().stop();
    const auto down = runCliBinary(status);
    EXPECT_EQ(down.status, 1);
    EXPECT_NE(down.out.find(R"("ok":false,"kind":"refused","stage":"open")"), std::string::npos)
        << down.out;
    EXPECT_NE(down.out.find("the print server at " + cups().address() +
                            " is not running (connection refused)"),
              std::string::npos)
        << down.out;
}
