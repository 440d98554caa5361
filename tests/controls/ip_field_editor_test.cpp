#include "controls/IpFieldEditor.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class ip_field_editor_test : public testing::Test {
  protected:
    void SetUp() override {
        editor.resize(200, 24);
        editor.show();
        editor.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&editor));
        for (int i = 0; i < 4; ++i)
            fields[i] = editor.findChild<QLineEdit *>(QStringLiteral("field%1").arg(i));
    }

    // Types like a person would: each key goes to whichever field has the focus by then.
    void type(const QString &keys) {
        for (const QChar c : keys)
            QTest::keyClick(focused(), c.toLatin1());
    }
    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(focused(), key, modifiers);
    }
    QWidget *focused() const { return editor.focusWidget(); }
    void focusAt(int field, int cursor) {
        fields[field]->setFocus();
        fields[field]->deselect();
        fields[field]->setCursorPosition(cursor);
    }
    QStringList shown() const {
        return {fields[0]->text(), fields[1]->text(), fields[2]->text(), fields[3]->text()};
    }

    IpFieldEditor editor;
    std::array<QLineEdit *, 4> fields{};
};

} // namespace

TEST_F(ip_field_editor_test, packed_address_goes_in_and_out_with_f0_on_top) {
    editor.setPacked(0x0A0000FF);
    EXPECT_EQ(shown(), (QStringList{"10", "0", "0", "255"}));
    EXPECT_EQ(editor.packed(), 0x0A0000FFu);

    for (QLineEdit *f : fields)
        f->clear();
    EXPECT_EQ(editor.packed(), 0u);
    fields[1]->setText("7");
    EXPECT_EQ(editor.packed(), 0x00070000u) << "blank fields read 0";
}

TEST_F(ip_field_editor_test, digits_move_on_after_three_and_on_a_dot) {
    focusAt(0, 0);
    type("192168");
    EXPECT_EQ(shown(), (QStringList{"192", "168", "", ""}));
    EXPECT_EQ(focused(), fields[2]);

    type("1.2");
    EXPECT_EQ(shown(), (QStringList{"192", "168", "1", "2"}));
    EXPECT_EQ(editor.packed(), 0xC0A80102u);

    type(".");
    EXPECT_EQ(focused(), fields[3]) << "a dot in the last field goes nowhere";
    EXPECT_EQ(fields[3]->text(), "2");
}

TEST_F(ip_field_editor_test, dot_selects_the_next_field_so_typing_replaces_it) {
    editor.setPacked(0x01020304);
    focusAt(0, 1);
    type(".9");
    EXPECT_EQ(shown(), (QStringList{"1", "9", "3", "4"}));
}

TEST_F(ip_field_editor_test, only_digits_are_taken) {
    focusAt(0, 0);
    type("a1- b2x");
    EXPECT_EQ(fields[0]->text(), "12");
    press(Qt::Key_A, Qt::ControlModifier);
    EXPECT_TRUE(fields[0]->hasSelectedText()) << "shortcuts still work";
    type("5");
    EXPECT_EQ(fields[0]->text(), "5");
}

TEST_F(ip_field_editor_test, values_over_255_come_down_to_255) {
    focusAt(0, 0);
    type("300");
    EXPECT_EQ(fields[0]->text(), "255");
    EXPECT_EQ(focused(), fields[1]);
    type("26");
    EXPECT_EQ(fields[1]->text(), "26");
    type("0");
    EXPECT_EQ(fields[1]->text(), "255");
    EXPECT_EQ(editor.packed(), 0xFFFF0000u);
}

TEST_F(ip_field_editor_test, full_field_refuses_a_fourth_digit_unless_selected) {
    editor.setPacked(0x7B000000);
    focusAt(0, 1);
    type("4");
    EXPECT_EQ(fields[0]->text(), "123");
    fields[0]->selectAll();
    type("4");
    EXPECT_EQ(fields[0]->text(), "4");
}

TEST_F(ip_field_editor_test, backspace_at_the_start_goes_back_a_field) {
    editor.setPacked(0x0C220000); // 12.34.0.0
    focusAt(1, 0);
    press(Qt::Key_Backspace);
    EXPECT_EQ(focused(), fields[0]);
    EXPECT_EQ(fields[0]->cursorPosition(), 2);
    EXPECT_EQ(fields[1]->text(), "34") << "nothing deleted on the way back";
    press(Qt::Key_Backspace);
    EXPECT_EQ(fields[0]->text(), "1");
    focusAt(0, 0);
    press(Qt::Key_Backspace);
    EXPECT_EQ(focused(), fields[0]) << "the first field has nowhere to go";
}

TEST_F(ip_field_editor_test, arrows_cross_fields_at_their_ends) {
    editor.setPacked(0x0C220000);
    focusAt(0, 2);
    press(Qt::Key_Right);
    EXPECT_EQ(focused(), fields[1]);
    EXPECT_EQ(fields[1]->cursorPosition(), 0);
    press(Qt::Key_Right);
    EXPECT_EQ(focused(), fields[1]) << "inside a field the cursor just moves";
    EXPECT_EQ(fields[1]->cursorPosition(), 1);
    press(Qt::Key_Left);
    press(Qt::Key_Left);
    EXPECT_EQ(focused(), fields[0]);
    EXPECT_EQ(fields[0]->cursorPosition(), 2);
    focusAt(3, 1);
    press(Qt::Key_Right);
    EXPECT_EQ(focused(), fields[3]) << "the last field has nowhere to go";
}

TEST_F(ip_field_editor_test, pasting_a_dotted_address_fills_all_four) {
    editor.setPacked(0x01020304);
    QApplication::clipboard()->setText(" 10.20.30.40 ");
    focusAt(1, 1);
    press(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(shown(), (QStringList{"10", "20", "30", "40"}));

    // The context menu pastes straight into the field.
    fields[2]->clear();
    QApplication::clipboard()->setText("5.6.7.8");
    fields[2]->paste();
    EXPECT_EQ(shown(), (QStringList{"5", "6", "7", "8"}));
}

TEST_F(ip_field_editor_test, pasting_other_text_keeps_its_digits_only) {
    QApplication::clipboard()->setText("1a2.b");
    focusAt(0, 0);
    press(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(shown(), (QStringList{"12", "", "", ""}));
    QApplication::clipboard()->setText("98765");
    focusAt(1, 0);
    press(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(fields[1]->text(), "255") << "three digits at most, then brought down to 255";
}

TEST_F(ip_field_editor_test, user_edits_are_signalled_and_set_calls_are_not) {
    QSignalSpy spy(&editor, &IpFieldEditor::edited);
    editor.setPacked(0x01020304);
    EXPECT_EQ(spy.count(), 0);
    focusAt(3, 1);
    type("5");
    EXPECT_EQ(spy.count(), 1);
    press(Qt::Key_Backspace);
    EXPECT_EQ(spy.count(), 2);
    EXPECT_EQ(editor.packed(), 0x01020304u);
}
