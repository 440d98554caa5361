// The buttons end to end: the real device library sends to a TCP listener on 127.0.0.1.
#include "window_fixture.h"

#include "protocol/frames.h"
#include "protocol/setting_byte.h"
#include "support/full_backlog_listener.h"
#include "support/posix_peers.h"
#include "support/tcp_listener.h"

#include <QClipboard>
#include <QTimer>

using namespace window_test;
using testing_support::ClosedPort;
using testing_support::TcpListener;

namespace {

constexpr std::chrono::seconds kDelivery{10};

QString loopback(int port) {
    return QStringLiteral("127.0.0.1:%1").arg(port);
}

} // namespace

namespace {

class window_loopback_test : public testing::Test {
  protected:
    void SetUp() override {
        // Point the window at loopback before any button can be pressed.
        control<QLineEdit>(window, "Text1")->setText(loopback(printer.port()));
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    TcpListener printer;
    RecordingWindow window; // the real device library
};

} // namespace

TEST_F(window_loopback_test, each_button_delivers_its_frame_and_shows_its_message) {
    std::size_t sent = 0;
    for (const SendingButton &r : sendingButtons()) {
        window.shown.clear();
        click(window, r.name);
        ASSERT_TRUE(printer.waitForSessions(++sent, kDelivery)) << r.name << " delivered nothing";
        const auto sessions = printer.sessions();
        EXPECT_EQ(sessions.back(), r.frame) << r.name;
        if (!r.message) {
            EXPECT_TRUE(window.shown.empty()) << r.name;
            continue;
        }
        ASSERT_EQ(window.shown.size(), 1u) << r.name;
        EXPECT_EQ(window.shown[0].title, "info") << r.name;
        EXPECT_EQ(window.shown[0].icon, QMessageBox::Information) << r.name;
        EXPECT_EQ(window.shown[0].text, r.message) << r.name;
    }
}

TEST_F(window_loopback_test, store_sends_the_buttons_as_pressed_restore_sends_the_default) {
    QTest::mouseClick(option(window, 2), Qt::LeftButton);  // already selected: stays
    QTest::mouseClick(option(window, 3), Qt::LeftButton);  // beeper no
    QTest::mouseClick(option(window, 8), Qt::LeftButton);  // 42 characters
    QTest::mouseClick(option(window, 13), Qt::LeftButton); // 38400
    protocol::SettingChoices choices = protocol::defaultChoices();
    choices.beeper = false;
    choices.charsPerLine = protocol::CharsPerLine::Chars42;
    choices.baud = protocol::Baud::Rate38400;
    const std::uint8_t stored = protocol::composeSettingByte(choices);
    ASSERT_NE(stored, 0xFD);

    click(window, "Command2");
    QTest::mouseClick(option(window, 14), Qt::LeftButton); // after the press: not in the frame
    click(window, "Command1");
    ASSERT_TRUE(printer.waitForSessions(2, kDelivery));
    const auto sessions = printer.sessions();
    EXPECT_EQ(sessions[0], protocol::writeSettingFrame(stored));
    EXPECT_EQ(sessions[1], protocol::writeSettingFrame(0xFD));
    ASSERT_EQ(window.shown.size(), 2u);
    EXPECT_EQ(window.shown[1].text, "Please Restart Printer.");
}

TEST_F(window_loopback_test, a_refused_connection_gives_the_error_box_with_the_reason) {
    const ClosedPort closed;
    control<QLineEdit>(window, "Text1")->setText(loopback(closed.port));
    click(window, "Command2");
    expectOpenFailedBox(window.shown, loopback(closed.port));
    expectOpenFailedBox(window.shown, "refused");
}

TEST_F(window_loopback_test, a_pasted_address_with_blanks_around_it_is_used) {
    auto *ip = control<QLineEdit>(window, "Text1");
    ip->clear();
    ip->setFocus();
    QApplication::clipboard()->setText(" \t" + loopback(printer.port()) + " \n");
    QTest::keyClick(ip, Qt::Key_V, Qt::ControlModifier);
    ASSERT_TRUE(ip->text().startsWith(' ')) << "the field keeps the text as pasted";
    click(window, "Command5");
    ASSERT_TRUE(printer.waitForSessions(1, kDelivery)) << window.shown.size();
    EXPECT_EQ(printer.sessions()[0], protocol::enableFrame());
    ASSERT_EQ(window.shown.size(), 1u);
    EXPECT_EQ(window.shown[0].text, "Please Restart Printer First!");
}

// Counts the paint events a widget gets.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

TEST_F(window_loopback_test, the_window_stays_live_while_a_printer_keeps_it_waiting) {
    const testing_support::FullBacklogListener silent; // never accepts: connect waits its bound
    control<QLineEdit>(window, "Text1")->setText(QString::fromStdString(silent.address()));
    settle(window);
    PaintCounter counter;
    window.installEventFilter(&counter);
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++ticks;
        window.update();
    });
    timer.start(20);

    auto *store = control<QPushButton>(window, "Command2");
    store->setFocus();
    QTest::keyClick(store, Qt::Key_Space);
    for (const char *name : {"Command5", "CmdDS", "Command1", "Command2", "Command3"})
        EXPECT_FALSE(control<QWidget>(window, name)->isEnabled()) << name;
    EXPECT_NE(window.focusWidget(), control<QWidget>(window, "Command4"))
        << "Space again: no close";
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    QTest::qWait(500);
    EXPECT_GE(ticks, 10) << "the timer kept firing";
    EXPECT_GE(counter.paints, 2) << "the window kept repainting";
    EXPECT_TRUE(window.shown.empty()) << "the box waits for the end of the action";
    settle(window);
    expectOpenFailedBox(window.shown, QString::fromStdString(silent.address()));
    EXPECT_EQ(window.focusWidget(), store) << "the focus comes back to the button";
}
