// The six buttons on the real window, with a recording stand-in for the device library.
#include "window_fixture.h"

#include "protocol/frames.h"
#include "protocol/setting_byte.h"
#include "support/recording_posdll.h"

#include <QTimer>

#include <thread>

using namespace window_test;
using testing_support::RecordedOpen;
using testing_support::RecordingPosdll;

namespace {

// Also notes whether the busy cursor is up while the port opens, and the threads of the open and
// the close; an open may take its time.
class CursorNotingPosdll : public RecordingPosdll {
  public:
    std::vector<bool> busyAtOpen;
    std::vector<std::thread::id> threads;
    std::chrono::milliseconds openTakes{0};
    int POS_Open(const std::string &name, int baud, int dataBits, int stopBits, int parity,
                 int portType) override {
        const QCursor *c = QApplication::overrideCursor();
        busyAtOpen.push_back(c && c->shape() == Qt::WaitCursor);
        threads.push_back(std::this_thread::get_id());
        std::this_thread::sleep_for(openTakes);
        return RecordingPosdll::POS_Open(name, baud, dataBits, stopBits, parity, portType);
    }
    int POS_Close() override {
        threads.push_back(std::this_thread::get_id());
        return RecordingPosdll::POS_Close();
    }
};

constexpr int kNetwork = 21; // POS_Open's port type for a network printer
constexpr int kSerial = 1;
constexpr const char *kSafeIp = "127.0.0.1:9"; // never dialled: the stand-in answers

class window_buttons_test : public testing::Test {
  protected:
    void SetUp() override {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        control<QLineEdit>(window, "Text1")->setText(kSafeIp);
    }

    CursorNotingPosdll lib;
    RecordingWindow window{lib};
};

} // namespace

TEST_F(window_buttons_test, each_button_sends_its_frame_and_shows_its_message) {
    for (const SendingButton &r : sendingButtons()) {
        lib = CursorNotingPosdll{};
        window.shown.clear();
        click(window, r.name);
        ASSERT_EQ(lib.opens.size(), 1u) << r.name;
        EXPECT_EQ(lib.opens[0], (RecordedOpen{kSafeIp, 0, 0, 0, 0, kNetwork})) << r.name;
        ASSERT_EQ(lib.writes.size(), 1u) << r.name;
        EXPECT_EQ(lib.writes[0], r.frame) << r.name;
        EXPECT_EQ(lib.writeHandles[0], lib.openResult) << r.name;
        EXPECT_EQ(lib.calls.back(), "close") << r.name;
        EXPECT_EQ(lib.busyAtOpen, std::vector<bool>{true}) << r.name;
        ASSERT_EQ(lib.threads.size(), 2u) << r.name;
        EXPECT_NE(lib.threads[0], std::this_thread::get_id()) << "not on the window's thread";
        EXPECT_EQ(lib.threads[0], lib.threads[1]) << r.name << ": the port's thread closes it";
        EXPECT_EQ(QApplication::overrideCursor(), nullptr) << r.name;
        if (!r.message) {
            EXPECT_TRUE(window.shown.empty()) << r.name;
            continue;
        }
        ASSERT_EQ(window.shown.size(), 1u) << r.name;
        const Shown &s = window.shown[0];
        EXPECT_EQ(s.title, "info") << r.name;
        EXPECT_EQ(s.icon, QMessageBox::Information) << r.name;
        EXPECT_EQ(s.text, r.message) << r.name;
        EXPECT_EQ(s.detail, "") << r.name;
        EXPECT_FALSE(s.busyCursor) << "the box shows with the normal cursor";
    }
}

TEST_F(window_buttons_test, store_reads_the_buttons_at_the_press_restore_ignores_them) {
    QTest::mouseClick(option(window, 0), Qt::LeftButton);  // cutter no
    QTest::mouseClick(option(window, 12), Qt::LeftButton); // 9600
    click(window, "Command2");
    protocol::SettingChoices first = protocol::defaultChoices();
    first.cutter = false;
    first.baud = protocol::Baud::Rate9600;

    QTest::mouseClick(option(window, 4), Qt::LeftButton);  // dark
    QTest::mouseClick(option(window, 15), Qt::LeftButton); // 115200
    click(window, "Command2");
    protocol::SettingChoices second = first;
    second.density = protocol::Density::Dark;
    second.baud = protocol::Baud::Rate115200;

    click(window, "Command1");
    ASSERT_EQ(lib.writes.size(), 3u);
    EXPECT_EQ(lib.writes[0], protocol::writeSettingFrame(protocol::composeSettingByte(first)));
    EXPECT_EQ(lib.writes[1], protocol::writeSettingFrame(protocol::composeSettingByte(second)));
    EXPECT_NE(lib.writes[0], lib.writes[1]);
    EXPECT_EQ(lib.writes[2], protocol::writeSettingFrame(0xFD));
    // Restoring the default sends it but does not move the buttons.
    EXPECT_TRUE(option(window, 4)->isChecked());
    EXPECT_TRUE(option(window, 15)->isChecked());
    EXPECT_FALSE(option(window, 14)->isChecked());
}

TEST_F(window_buttons_test, a_port_that_does_not_open_gives_the_error_box_and_writes_nothing) {
    lib.openResult = -1;
    lib.lastError = "network: connect to 127.0.0.1:9: Connection refused";
    for (const char *button : {"Command5", "CmdDS", "Command1", "Command2", "Command3"}) {
        lib.calls.clear();
        window.shown.clear();
        click(window, button);
        EXPECT_EQ(lib.calls, std::vector<std::string>{"open"}) << button;
        expectOpenFailedBox(window.shown, QString::fromStdString(lib.lastError));
    }
    EXPECT_TRUE(lib.writes.empty());
}

TEST_F(window_buttons_test, serial_port_opens_with_the_chosen_rate) {
    choose(control<QComboBox>(window, "Combo1"), "COM2");
    choose(control<QComboBox>(window, "Combo3"), "38400");
    click(window, "Command5");
    ASSERT_EQ(lib.opens.size(), 1u);
    EXPECT_EQ(lib.opens[0], (RecordedOpen{"COM2", 38400, 8, 0, 0, kSerial}));
}

TEST_F(window_buttons_test, an_unknown_typed_port_opens_nothing_and_says_why) {
    auto *ports = control<QComboBox>(window, "Combo1");
    ports->lineEdit()->clear();
    QTest::keyClicks(ports->lineEdit(), "com1");
    click(window, "Command2");
    EXPECT_TRUE(lib.calls.empty());
    expectOpenFailedBox(window.shown, "'com1'");
}

TEST_F(window_buttons_test, driver_port_uses_the_selected_printer) {
    choose(control<QComboBox>(window, "Combo1"), "DRIVER");
    auto *printers = control<QComboBox>(window, "Combo2");
    click(window, "Command3");
    if (printers->count() == 0) {
        EXPECT_TRUE(lib.opens.empty());
        expectOpenFailedBox(window.shown, "no printer");
    } else {
        ASSERT_EQ(lib.opens.size(), 1u);
        EXPECT_EQ(QString::fromStdString(lib.opens[0].name), printers->itemText(0));
    }
}

TEST_F(window_buttons_test, close_button_and_close_box_end_without_a_call) {
    click(window, "Command4");
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(lib.calls.empty());
    EXPECT_TRUE(window.shown.empty());

    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_TRUE(window.close()) << "the close box is never refused";
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(lib.calls.empty());
}

TEST_F(window_buttons_test, closing_during_an_action_waits_for_it_and_shows_no_box) {
    lib.openTakes = std::chrono::milliseconds(300);
    QTest::mouseClick(control<QWidget>(window, "Command2"), Qt::LeftButton);
    QTest::mouseClick(control<QWidget>(window, "Command4"), Qt::LeftButton); // still enabled
    EXPECT_FALSE(window.isVisible());
    ASSERT_EQ(QApplication::overrideCursor(), nullptr) << "the action ended first";
    EXPECT_EQ(lib.calls.back(), "close");
    QTest::qWait(50);
    EXPECT_TRUE(window.shown.empty()) << "no box on a closed window";
}

TEST(window_message_box_test, the_real_box_has_the_title_icon_text_and_reason) {
    RecordingPosdll lib;
    lib.openResult = -1;
    lib.lastError = "network: connect to 127.0.0.1:9: Connection refused";
    app::FrmTest window(lib);
    control<QLineEdit>(window, "Text1")->setText(kSafeIp);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    // Read the box from inside its own event loop, then dismiss it, so nothing waits for a user.
    QString title, text, informative;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    bool modal = false;
    QTimer poll;
    int tries = 0;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box) {
            if (++tries > 500)
                poll.stop();
            return;
        }
        poll.stop();
        title = box->windowTitle();
        text = box->text();
        informative = box->informativeText();
        icon = box->icon();
        buttons = box->standardButtons();
        modal = box->isModal();
        box->accept();
    });
    poll.start(10);
    click(window, "Command1");
    EXPECT_EQ(title, "error");
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_EQ(text, "Fail to open port,please check!");
    EXPECT_EQ(informative, QString::fromStdString(lib.lastError));
    EXPECT_EQ(buttons, QMessageBox::Ok);
    EXPECT_TRUE(modal);
}

TEST_F(window_buttons_test, each_rate_shown_is_the_rate_stored_and_the_rate_the_line_offers) {
    QComboBox *lineRates = control<QComboBox>(window, "Combo3");
    for (int i = 12; i < 16; ++i) {
        QTest::mouseClick(option(window, i), Qt::LeftButton);
        click(window, "Command2");
        ASSERT_EQ(lib.writes.size(), static_cast<std::size_t>(i - 11));
        const int stored =
            protocol::baudRate(protocol::explainSettingByte(lib.writes.back().back()).baud);
        EXPECT_EQ(option(window, i)->text(), QString::number(stored)) << i;
        EXPECT_GE(lineRates->findText(option(window, i)->text()), 0) << i;
    }
    // The line starts at the rate the printer's default setting gives it.
    EXPECT_EQ(lineRates->currentText(),
              QString::number(protocol::baudRate(protocol::defaultChoices().baud)));
}

TEST_F(window_buttons_test, each_two_way_button_sets_its_bit_as_the_odd_one_says) {
    const int opening[6] = {1, 2, 5, 7, 9, 11}; // the buttons of 0xFD
    for (int i = 0; i < 12; ++i) {
        QTest::mouseClick(option(window, i), Qt::LeftButton);
        click(window, "Command2");
        const int bit = 1 << (i / 2);
        EXPECT_EQ(lib.writes.back().back(), (i % 2 ? 0xFD | bit : 0xFD & ~bit)) << i;
        QTest::mouseClick(option(window, opening[i / 2]), Qt::LeftButton);
    }
}
