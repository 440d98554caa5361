// `posdip-cli printers` against the private cupsd: an empty server is an empty list, a stopped
// or silent one is an error that names it.
#include "run_cli.h"
#include "support/cups_server.h"

#include <gtest/gtest.h>

using cli_test::runCliBinary;

namespace {

class CliPrintersTest : public testing_support::EmptyCupsTest {};

} // namespace

TEST_F(CliPrintersTest, a_server_without_queues_gives_an_empty_list_and_success) {
    for (const char *json : {"", "--json"}) {
        const auto r = runCliBinary(*json ? std::vector<std::string>{"printers", json}
                                          : std::vector<std::string>{"printers"});
        EXPECT_EQ(r.status, 0) << json << r.err;
        EXPECT_EQ(r.out, "") << json;
    }
    const auto r = runCliBinary({"printers"});
    EXPECT_EQ(r.err, "posdip-cli: no print queues are installed on " + cups().address() + "\n");
}

TEST_F(CliPrintersTest, a_stopped_server_is_a_failure_naming_it_and_the_reason) {
    cups().stop();
    for (const char *json : {"", "--json"}) {
        const auto r = runCliBinary(*json ? std::vector<std::string>{"printers", json}
                                          : std::vector<std::string>{"printers"});
        EXPECT_EQ(r.status, 1) << json << r.err;
        EXPECT_EQ(r.out, "") << json;
        EXPECT_NE(r.err.find("the print server at " + cups().address() +
                             " is not running (connection refused)"),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(r.err.find("no print queues"), std::string::npos) << r.err;
    }
    // A send to one of its queues says so in a kind a script can branch on.
    const auto send =
        runCliBinary({"selftest", "--json", "--port", "DRIVER", "--printer", "Kitchen"});
    EXPECT_EQ(send.status, 1);
    EXPECT_NE(send.out.find(R"("ok":false,"kind":"refused","stage":"open")"), std::string::npos)
        << send.out;
}

TEST_F(CliPrintersTest, a_server_that_never_answers_is_a_failure_within_bounded_time) {
    std::string why;
    ASSERT_TRUE(cups().addQueue("Kitchen", 9, why)) << why;
    const testing_support::ShortServerWaits shortWaits;
    cups().pause();
    cli_test::CliSetup setup;
    setup.limit = std::chrono::seconds(30);
    const auto r = runCliBinary({"printers"}, setup);
    const auto send =
        runCliBinary({"selftest", "--json", "--port", "DRIVER", "--printer", "Kitchen"}, setup);
    cups().resume();
    EXPECT_NE(send.out.find(R"("ok":false,"kind":"timeout","stage":"open")"), std::string::npos)
        << send.out;
    EXPECT_EQ(r.status, 1) << r.err << " (-1: killed after 30 s)";
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("print server " + cups().address() + " did not answer"), std::string::npos)
        << r.err;
}
