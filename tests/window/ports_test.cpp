// The port-kind rules: which connection input each chosen or typed port name enables.
#include "window_fixture.h"

#include "support/recording_posdll.h"

using namespace window_test;
using testing_support::RecordingPosdll;

namespace {

constexpr Enabled kIpOnly{true, false, false};
constexpr Enabled kPrinterOnly{false, true, false};
constexpr Enabled kBaudOnly{false, false, true};
constexpr Enabled kNone{false, false, false};

class window_ports_test : public testing::Test {
  protected:
    void SetUp() override {
        window.show();
        QApplication::setActiveWindow(&window);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        ports = control<QComboBox>(window, "Combo1");
        ASSERT_NE(ports, nullptr);
    }

    // Empties the port field and types text into it one key at a time, noting the inputs
    // after every key.
    std::vector<Enabled> typeInto(const QString &text) {
        ports->lineEdit()->selectAll();
        QTest::keyClick(ports->lineEdit(), Qt::Key_Backspace);
        EXPECT_EQ(ports->currentText(), "");
        std::vector<Enabled> after;
        for (QChar c : text) {
            QTest::keyClicks(ports->lineEdit(), QString(c));
            after.push_back(enabledInputs(window));
        }
        EXPECT_EQ(ports->currentText(), text);
        return after;
    }

    RecordingPosdll lib;
    RecordingWindow window{lib};
    QComboBox *ports = nullptr;
};

} // namespace

TEST_F(window_ports_test, each_chosen_entry_enables_the_input_of_its_kind) {
    const std::pair<const char *, Enabled> rows[] = {
        {"COM7", kBaudOnly}, {"LPT2", kNone}, {"DRIVER", kPrinterOnly}, {"ETHERNET", kIpOnly},
        {"COM1", kBaudOnly}, {"LPT3", kNone}, {"COM9", kBaudOnly},      {"ETHERNET", kIpOnly},
    };
    for (const auto &[entry, expected] : rows) {
        choose(ports, entry);
        EXPECT_EQ(enabledInputs(window), expected) << "after choosing " << entry;
    }
}

TEST_F(window_ports_test, disabled_inputs_keep_their_values) {
    auto *ip = control<QLineEdit>(window, "Text1");
    auto *rates = control<QComboBox>(window, "Combo3");
    ip->setText("127.0.0.1:9100");
    choose(ports, "COM2");
    choose(rates, "115200");
    choose(ports, "DRIVER");
    EXPECT_EQ(enabledInputs(window), kPrinterOnly);
    EXPECT_EQ(ip->text(), "127.0.0.1:9100");
    EXPECT_EQ(rates->currentText(), "115200");
    choose(ports, "COM2");
    EXPECT_EQ(rates->currentText(), "115200");
    EXPECT_EQ(ports->count(), 14) << "choosing must not add entries";
}

TEST_F(window_ports_test, typed_text_applies_the_rules_at_the_third_letter) {
    // From ETHERNET (IP only): L and P change nothing, T disables all three.
    EXPECT_EQ(typeInto("LPT"), (std::vector<Enabled>{kIpOnly, kIpOnly, kNone}));
    // C and O leave the parallel state; M enables the baud list.
    EXPECT_EQ(typeInto("COM"), (std::vector<Enabled>{kNone, kNone, kBaudOnly}));
    // Further letters keep the kind of the first three.
    EXPECT_EQ(typeInto("DRIVE"), (std::vector<Enabled>{kBaudOnly, kBaudOnly, kPrinterOnly,
                                                       kPrinterOnly, kPrinterOnly}));
    EXPECT_EQ(typeInto("ETH0"),
              (std::vector<Enabled>{kPrinterOnly, kPrinterOnly, kIpOnly, kIpOnly}));
}

TEST_F(window_ports_test, lower_case_and_other_text_leave_the_inputs_alone) {
    choose(ports, "COM3");
    EXPECT_EQ(typeInto("com"), (std::vector<Enabled>{kBaudOnly, kBaudOnly, kBaudOnly}));
    choose(ports, "LPT1");
    EXPECT_EQ(typeInto("lpt1"), (std::vector<Enabled>(4, kNone)));
    EXPECT_EQ(typeInto("eth"), (std::vector<Enabled>(3, kNone)));
    EXPECT_EQ(typeInto("XCOM"), (std::vector<Enabled>(4, kNone)));
    EXPECT_EQ(typeInto(" COM"), (std::vector<Enabled>(4, kNone)));
}

TEST_F(window_ports_test, typing_does_not_complete_or_add_entries) {
    typeInto("C");
    EXPECT_EQ(ports->currentText(), "C") << "no completion to COM1";
    typeInto("COM12");
    QTest::keyClick(ports->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(ports->count(), 14);
    EXPECT_EQ(ports->currentText(), "COM12");
    EXPECT_EQ(enabledInputs(window), kBaudOnly);
}
