// What a screen reader hears and where the keyboard goes: named inputs with their labels, named
// option groups, and Tab into an option group on its selected button.
#include "window_fixture.h"

#include "support/recording_posdll.h"

#include <QAccessible>
#include <QGroupBox>
#include <QLabel>

using namespace window_test;
using testing_support::RecordingPosdll;

namespace {

QString spokenName(QObject *o) {
    QAccessibleInterface *a = QAccessible::queryAccessibleInterface(o);
    return a ? a->text(QAccessible::Name) : QString();
}

class window_access_test : public testing::Test {
  protected:
    void SetUp() override {
        window.show();
        QApplication::setActiveWindow(&window);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    // Focus on from, then Tab (or Shift+Tab) once; the name of what has the focus then.
    QString tabFrom(const char *from, bool back = false) {
        control<QWidget>(window, from)->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab,
                        back ? Qt::ShiftModifier : Qt::NoModifier);
        return QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString();
    }

    RecordingPosdll lib;
    RecordingWindow window{lib};
};

} // namespace

TEST_F(window_access_test, inputs_are_labelled_by_their_captions_without_access_keys) {
    const struct {
        const char *label, *input, *name;
    } rows[] = {
        {"Label1", "Combo1", "Select Port"},
        {"Label2", "Text1", "IP address"},
        {"Label3", "Combo2", "Driver"},
        {"Label4", "Combo3", "Baudrate"},
    };
    for (const auto &row : rows) {
        auto *label = control<QLabel>(window, row.label);
        QWidget *input = control<QWidget>(window, row.input);
        EXPECT_EQ(label->buddy(), input) << row.label;
        // Its own name; on Linux a list speaks its entry and names itself by the relation below.
        EXPECT_EQ(input->accessibleName(), row.name) << row.input;
        // The relation a screen reader follows from the input to its label.
        QAccessibleInterface *a = QAccessible::queryAccessibleInterface(input);
        ASSERT_NE(a, nullptr);
        bool labelled = false;
        for (const auto &[other, relation] : a->relations(QAccessible::Label))
            labelled = labelled || other->object() == label;
        EXPECT_TRUE(labelled) << row.input << " is not labelled by " << row.label;
        EXPECT_FALSE(label->text().contains('&')) << "a buddy with & would make an access key";
    }
}

TEST_F(window_access_test, each_option_group_is_named_for_its_function) {
    const char *functions[] = {"Select cutter",        "Select beeper",
                               "Select print density", "Two-byte character code",
                               "Character per line",   "Detect Paper was taken",
                               "Select baudrate (bps)"};
    for (int f = 0; f < 7; ++f) {
        auto *frame = control<QGroupBox>(window, QStringLiteral("Frame1_%1").arg(f));
        EXPECT_EQ(spokenName(frame), functions[f]) << f;
        EXPECT_EQ(frame->title(), "") << "the frames stay plain borders";
    }
    EXPECT_FALSE(spokenName(&window).isEmpty());
    for (auto *button : window.findChildren<QPushButton *>()) {
        EXPECT_EQ(spokenName(button), button->text());
        QAccessibleInterface *a = QAccessible::queryAccessibleInterface(button);
        EXPECT_FALSE(a->text(QAccessible::Description).isEmpty())
            << button->objectName().toStdString();
    }
}

TEST_F(window_access_test, tab_enters_each_option_group_on_its_selected_button) {
    // Forwards from the button before the groups, through all seven, on to the action buttons.
    QStringList path;
    control<QWidget>(window, "CmdDS")->setFocus(Qt::OtherFocusReason);
    for (int i = 0; i < 8; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        path << QApplication::focusWidget()->objectName();
    }
    EXPECT_EQ(path, QStringList({"Option1_1", "Option1_2", "Option1_5", "Option1_7", "Option1_9",
                                 "Option1_11", "Option1_14", "Command1"}));
    EXPECT_EQ(tabFrom("Command1", true), "Option1_14") << "Shift+Tab back into the baud group";

    // Space on the button Tab lands on keeps the setting as it is.
    EXPECT_EQ(tabFrom("CmdDS"), "Option1_1");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_TRUE(option(window, 1)->isChecked()) << "cutter stays Yes";
    EXPECT_FALSE(option(window, 0)->isChecked());
}

TEST_F(window_access_test, the_tab_stop_follows_the_selection) {
    // The mouse picks another button; Tab then lands on that one.
    QTest::mouseClick(option(window, 0), Qt::LeftButton);
    EXPECT_EQ(tabFrom("CmdDS"), "Option1_0");
    // An arrow key moves the selection within the group; Tab leaves the group at once.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
    EXPECT_TRUE(option(window, 1)->isChecked());
    EXPECT_EQ(QApplication::focusWidget()->objectName(), "Option1_1");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget()->objectName(), "Option1_2") << "on to the beeper group";
    // A choice made in code (as Restore would) moves the stop too.
    option(window, 12)->setChecked(true);
    EXPECT_EQ(tabFrom("Command1", true), "Option1_12");
}
