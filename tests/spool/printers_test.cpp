// The printer list of the window against the queues of a private cupsd.
#include "device/printers.h"
#include "support/bounded.h"
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
    const Names listed = device::installedPrinters();
    EXPECT_EQ(listed, lpstatList());
    EXPECT_EQ(listed, (Names{"alpha", "Mid_2", "Zebra"})); // by name, case aside
}

TEST_F(PrintersTest, no_queues_give_an_empty_list) {
    EXPECT_TRUE(device::installedPrinters().empty());
    addQueues({"Only"});
    EXPECT_EQ(device::installedPrinters(), Names{"Only"});
}

TEST_F(PrintersTest, unreachable_or_silent_server_gives_an_empty_list_in_bounded_time) {
    addQueues({"Kitchen"});
    cups().pause();
    const auto silent = finishesWithin(kNoHang, [] { return device::installedPrinters(); });
    cups().resume();
    ASSERT_TRUE(silent) << "the list waited without bound on a silent server";
    EXPECT_TRUE(silent->empty());

    cups().stop();
    const auto down = finishesWithin(kNoHang, [] { return device::installedPrinters(); });
    ASSERT_TRUE(down) << "the list waited without bound on a stopped server";
    EXPECT_TRUE(down->empty());
}
