// Text a user (or a paste) may put in the port and IP fields, through the real device library:
// each is refused with an error box that says why, and nothing is opened or sent.
#include "window_fixture.h"

#include "support/tcp_listener.h"

using namespace window_test;

namespace {

class window_hostile_input_test : public testing::Test {
  protected:
    void SetUp() override {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        // Whatever slips through would reach this listener, never a real address.
        control<QLineEdit>(window, "Text1")
            ->setText(QStringLiteral("127.0.0.1:%1").arg(printer.port()));
    }

    // Presses "Store Setting" and expects exactly one error box with a reason.
    void expectRefused(const QString &what) {
        window.shown.clear();
        click(window, "Command2");
        ASSERT_EQ(window.shown.size(), 1u) << what.toStdString();
        EXPECT_EQ(window.shown[0].title, "error") << what.toStdString();
        EXPECT_EQ(window.shown[0].icon, QMessageBox::Critical);
        EXPECT_EQ(window.shown[0].text, "Fail to open port,please check!");
        EXPECT_FALSE(window.shown[0].detail.isEmpty()) << what.toStdString();
    }

    testing_support::TcpListener printer;
    RecordingWindow window; // the real device library
};

} // namespace

TEST_F(window_hostile_input_test, odd_port_names_are_refused_with_a_reason) {
    const QString names[] = {
        QString(1000, 'A'),
        "COM" + QString(997, '9'),
        "LPT" + QString(997, 'x'),
        QStringLiteral("COM\x01\x02\x1b[2J"),
        "COM" + QString(20, '7'),
        "COM-1",
        "COM../../etc/passwd",
        "LPT0",
        "COM0",
        QString("COM1") + QChar(0) + "2",
    };
    auto *combo1 = control<QComboBox>(window, "Combo1");
    for (const QString &name : names) {
        combo1->setEditText(name);
        expectRefused(name.left(40));
        EXPECT_EQ(combo1->currentText(), name) << "the field keeps what was typed";
    }
    EXPECT_EQ(printer.accepted(), 0);
}

TEST_F(window_hostile_input_test, names_in_errors_keep_unicode_and_escape_controls) {
    // A port of no known kind, and a serial port whose number is no number.
    const std::pair<QString, QString> rows[] = {
        {QString::fromUtf8("X\x1b[2J\u00e9\u7aef\u53e3"),
         QString::fromUtf8("'X\\x1B[2J\u00e9\u7aef\u53e3'")},
        {QString::fromUtf8("COM\uFF11"), QString::fromUtf8("'COM\uFF11'")},
    };
    for (const auto &[name, shown] : rows) {
        control<QComboBox>(window, "Combo1")->setEditText(name);
        expectRefused(name);
        ASSERT_FALSE(window.shown.empty());
        EXPECT_TRUE(window.shown[0].detail.contains(shown)) << window.shown[0].detail.toStdString();
    }
}

TEST_F(window_hostile_input_test, odd_ip_texts_are_refused_before_any_name_lookup) {
    struct Case {
        QString ip;
        QString reasonPart; // other characters as typed, controls escaped
    } cases[] = {
        {"127.0.0 .1", "'127.0.0 .1'"},
        {"127.0.0.1 \t:80", "'127.0.0.1 \\x09'"}, // blanks inside are not trimmed
        {QString::fromUtf8("\uFF11\uFF12\uFF17.0.0.1"),
         QString::fromUtf8("'\uFF11\uFF12\uFF17.0.0.1'")},
        {QString("127.0.0.1") + QChar(0) + "evil", "NUL"},
        {QString(300, 'a'), "aaaa"},
        {"300.1.2.3", "300.1.2.3"},
        {"1.2.3", "1.2.3"},
        {"1.2.3.4.5", "1.2.3.4.5"},
        {"127.0.0.1:99999", "99999"},
        {"", "empty"},
    };
    for (const Case &c : cases) {
        control<QLineEdit>(window, "Text1")->setText(c.ip);
        expectRefused(c.ip.left(40));
        ASSERT_FALSE(window.shown.empty());
        EXPECT_TRUE(window.shown[0].detail.contains(c.reasonPart))
            << window.shown[0].detail.toStdString();
        // A lookup would have failed with a resolver's words instead.
        EXPECT_FALSE(window.shown[0].detail.contains("resolve", Qt::CaseInsensitive))
            << window.shown[0].detail.toStdString();
    }
    EXPECT_EQ(printer.accepted(), 0);
}
