// The printer list of the window against the queues of a private cupsd.
#include "device/printers.h"
#include "support/bounded.h"
#include "support/child_process.h"
#include "support/cups_server.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace std::chrono_literals;
using testing_support::finishesWithin;
using testing_support::runTool;
using Names = std::vector<std::string>;

namespace {

constexpr auto kNoHang = 20s;

class PrintersTest : public testing_support::EmptyCupsTest {
  protected:
    void addQueues(const Names &names) {
        for (const std::string &name : names) {
            std::string why;
            ASSERT_TRUE(cups().addQueue(name, 9, why)) << name << ": " << why; // never printed to
        }
    }
};

Names lpstatList() {
    const auto r = runTool({"lpstat", "-e"});
    Names names;
    std::istringstream lines(r.output);
    for (std::string line; std::getline(lines, line);)
        names.push_back(line);
    return names;
}

} // namespace

TEST_F(PrintersTest, queues_come_in_the_order_cups_lists_them) {
    addQueues({"Zebra", "alpha", "Mid_2"});
    const device::PrinterList list = device::installedPrinters();
    EXPECT_TRUE(list.serverAnswered()) << list.error;
    const Names &listed = list.names;
    EXPECT_EQ(listed, lpstatList());
    EXPECT_EQ(listed, (Names{"alpha", "Mid_2", "Zebra"})); // by name, case aside
}

TEST_F(PrintersTest, no_queues_give_an_empty_list_from_a_server_that_answered) {
    const device::PrinterList none = device::installedPrinters();
    EXPECT_TRUE(none.names.empty());
    EXPECT_TRUE(none.serverAnswered()) << none.error;
    EXPECT_EQ(none.server, cups().address());
    addQueues({"Only"});
    EXPECT_EQ(device::installedPrinters().names, Names{"Only"});
}

TEST_F(PrintersTest, a_silent_or_stopped_server_is_an_error_naming_it_in_bounded_time) {
    addQueues({"Kitchen"});
    const testing_support::ShortServerWaits shortWaits;
    cups().pause();
    const auto silent = finishesWithin(kNoHang, [] { return device::installedPrinters(); });
    cups().resume();
    ASSERT_TRUE(silent) << "the list waited without bound on a silent server";
    EXPECT_TRUE(silent->names.empty());
    EXPECT_FALSE(silent->serverAnswered());
    EXPECT_NE(silent->error.find("print server " + cups().address()), std::string::npos)
        << silent->error;

    cups().stop();
    const auto down = finishesWithin(kNoHang, [] { return device::installedPrinters(); });
    ASSERT_TRUE(down) << "the list waited without bound on a stopped server";
    EXPECT_TRUE(down->names.empty());
    EXPECT_NE(down->error.find("the print server at " + cups().address() +
                               " is not running (connection refused)"),
              std::string::npos)
        << down->error;
}
