// The printer list: filled from the print server in its order, a placeholder and an error that
// tell "no queues" from "no server", and filled when opened once the server is back.
#include "window_fixture.h"

#include "posdll/posdll.h"
#include "support/cups_server.h"
#include "support/recording_posdll.h"

#include <future>

using namespace window_test;
using testing_support::RecordingPosdll;

namespace {

// As the device library words a server that refuses the connection.
const std::string kDown = "the print server at 127.0.0.1:631 is not running (connection refused)";

class window_printers_test : public testing::Test {
  protected:
    void open(device::PrinterList answer) {
        server.answer = std::move(answer);
        window.emplace(lib, server);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&*window));
        settle(*window);
        printers = control<QComboBox>(*window, "Combo2");
        ASSERT_NE(printers, nullptr);
    }
    // "Store Setting" through DRIVER: the one box it shows.
    Shown storeThroughDriver() {
        window->shown.clear();
        choose(control<QComboBox>(*window, "Combo1"), "DRIVER");
        click(*window, "Command2");
        EXPECT_EQ(window->shown.size(), 1u);
        return window->shown.empty() ? Shown{} : window->shown[0];
    }

    RecordingPosdll lib;
    ListedPrinters server;
    std::optional<RecordingWindow> window;
    QComboBox *printers = nullptr;
};

} // namespace

TEST_F(window_printers_test, queues_come_in_the_servers_order_and_driver_sends_to_the_chosen) {
    open({{"Zebra", "Kitchen", "Bar"}, "127.0.0.1:631", {}});
    EXPECT_EQ(items(printers), QStringList({"Zebra", "Kitchen", "Bar"})) << "never re-sorted";
    EXPECT_EQ(printers->currentIndex(), 0);
    EXPECT_EQ(storeThroughDriver().text, "Please Restart Printer.");
    ASSERT_EQ(lib.opens.size(), 1u);
    EXPECT_EQ(lib.opens[0].name, "Zebra");
    EXPECT_EQ(lib.opens[0].portType, POS_PORT_SPOOL);

    choose(printers, "Bar");
    click(*window, "Command2");
    ASSERT_EQ(lib.opens.size(), 2u);
    EXPECT_EQ(lib.opens[1].name, "Bar");
    printers->showPopup();
    EXPECT_EQ(server.asked, 1) << "a filled list is not asked for again";
    printers->hidePopup();
}

TEST_F(window_printers_test, a_server_without_queues_says_so) {
    open({{}, "127.0.0.1:631", {}});
    EXPECT_EQ(printers->count(), 0);
    EXPECT_EQ(printers->placeholderText(), "(no printer installed)");
    EXPECT_TRUE(printers->toolTip().contains("127.0.0.1:631")) << printers->toolTip().toStdString();
    const Shown box = storeThroughDriver();
    EXPECT_EQ(box.text, "Fail to open port,please check!");
    EXPECT_EQ(box.detail, "no printer is selected (no print queue is installed)");
    EXPECT_TRUE(lib.opens.empty());
}

TEST_F(window_printers_test, an_unreachable_server_is_named_with_its_reason_not_blamed_on_queues) {
    open({{}, "127.0.0.1:631", kDown});
    EXPECT_EQ(printers->placeholderText(), "(no print server)");
    EXPECT_EQ(printers->toolTip().toStdString(), kDown);
    const Shown box = storeThroughDriver();
    EXPECT_EQ(box.text, "Fail to open port,please check!");
    EXPECT_EQ(box.detail.toStdString(), "no printer is selected: " + kDown);
    EXPECT_FALSE(box.detail.contains("installed"));
    EXPECT_TRUE(lib.opens.empty());
}

TEST_F(window_printers_test, opening_the_list_after_the_server_is_back_fills_it) {
    open({{}, "127.0.0.1:631", kDown});
    printers->showPopup(); // still down: still empty, still saying why
    settle(*window);
    printers->hidePopup();
    EXPECT_EQ(printers->count(), 0);
    EXPECT_EQ(printers->placeholderText(), "(no print server)");

    server.answer = {{"Kitchen", "Bar"}, "127.0.0.1:631", {}};
    choose(control<QComboBox>(*window, "Combo1"), "DRIVER");
    QTest::keyClick(printers, Qt::Key_F4); // asks again, and opens the list with the answer
    settle(*window);
    EXPECT_TRUE(printers->view()->isVisible());
    printers->hidePopup();
    choose(printers, "Bar");
    EXPECT_EQ(items(printers), QStringList({"Kitchen", "Bar"}));
    EXPECT_EQ(server.asked, 3);
    EXPECT_TRUE(printers->toolTip().isEmpty());
    click(*window, "Command2");
    ASSERT_EQ(lib.opens.size(), 1u);
    EXPECT_EQ(lib.opens[0].name, "Bar");
}

// A print server that answers only when let (or after five seconds).
class HeldPrinters : public ListedPrinters {
  public:
    std::promise<void> let;
    std::shared_future<void> held = let.get_future().share();
    device::PrinterList list() override {
        held.wait_for(std::chrono::seconds(5));
        return ListedPrinters::list();
    }
};

TEST(window_printers_wait_test, the_window_shows_while_the_print_server_is_asked) {
    HeldPrinters server;
    server.answer = {{"Kitchen", "Bar"}, "127.0.0.1:631", {}};
    RecordingPosdll lib;
    RecordingWindow window(lib, server);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    auto *printers = control<QComboBox>(window, "Combo2");
    EXPECT_EQ(printers->placeholderText(), "(asking the print server)");
    choose(control<QComboBox>(window, "Combo1"), "DRIVER");
    QTest::mouseClick(control<QWidget>(window, "Command2"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.shown.empty(); }));
    EXPECT_EQ(window.shown[0].detail,
              "no printer is selected: the print server has not answered yet");
    server.let.set_value();
    settle(window);
    EXPECT_EQ(items(printers), QStringList({"Kitchen", "Bar"}));
    EXPECT_EQ(printers->currentIndex(), 0);
}

// The same against the private cupsd: stopped when the window opens, started again with a queue.
class window_cups_printers_test : public testing_support::EmptyCupsTest {};

TEST_F(window_cups_printers_test, the_list_follows_the_real_server_down_and_back) {
    const std::string address = cups().address();
    cups().stop();
    RecordingPosdll lib;
    RecordingWindow window(lib, device::systemPrinters());
    settle(window);
    auto *printers = control<QComboBox>(window, "Combo2");
    EXPECT_EQ(printers->count(), 0);
    EXPECT_EQ(printers->placeholderText(), "(no print server)");
    EXPECT_TRUE(printers->toolTip().contains(QString::fromStdString(address)))
        << printers->toolTip().toStdString();

    std::string why;
    ASSERT_TRUE(cups().start(why)) << why;
    ASSERT_TRUE(cups().addQueue("Kitchen", 9, why)) << why; // never printed to
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    choose(control<QComboBox>(window, "Combo1"), "DRIVER");
    QTest::keyClick(printers, Qt::Key_F4); // asks again, and opens the list with the answer
    settle(window);
    EXPECT_TRUE(printers->view()->isVisible());
    printers->hidePopup();
    choose(printers, "Kitchen");
    EXPECT_EQ(printers->currentIndex(), 0);
}
