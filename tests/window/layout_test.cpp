// The window as it opens: captions, geometry, selection, lists, flags and focus order.
#include "window_fixture.h"

#include "app/twips.h"
#include "protocol/setting_byte.h"
#include "support/recording_posdll.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>

#include <map>

using namespace window_test;
using testing_support::RecordingPosdll;

namespace {

QString captionOf(QWidget *w) {
    if (auto *label = qobject_cast<QLabel *>(w))
        return label->text();
    if (auto *button = qobject_cast<QAbstractButton *>(w))
        return button->text();
    if (auto *frame = qobject_cast<QGroupBox *>(w))
        return frame->title();
    return {};
}

class window_layout_test : public testing::Test {
  protected:
    RecordingPosdll lib;
    RecordingWindow window{lib};
};

} // namespace

TEST(window_twips_test, fifteen_twips_a_pixel_for_the_reference_font) {
    const app::Twips t(1.0, 1.0);
    EXPECT_EQ(t.rect(105, 105, 855, 255), QRect(7, 7, 57, 17));
    EXPECT_EQ(t.size(8970, 3960), QSize(598, 264));
    // A smaller font never shrinks the layout.
    const app::Twips small(0.8, 0.5);
    EXPECT_EQ(small.size(8970, 3960), QSize(598, 264));
}

TEST(window_twips_test, shared_edges_stay_shared_when_stretched) {
    const app::Twips t(1.234, 1.07);
    // Label5 and Label8 end together at x = 4425; a box ending at y = 780 meets one starting there.
    const QRect label5 = t.rect(3285, 135, 1140, 195);
    const QRect label8 = t.rect(3420, 495, 1005, 240);
    EXPECT_EQ(label5.right(), label8.right());
    EXPECT_EQ(t.rect(4590, 315, 1905, 465).bottom() + 1, t.rect(4590, 780, 1905, 465).top());
    EXPECT_EQ(t.size(1500, 1500), QSize(123, 107));
}

TEST(window_twips_test, the_caption_that_needs_most_of_its_box_sets_the_ratio_across) {
    // 100 pixels in a box of 1200 twips (80 pixels as drawn) sets the ratio; 110 pixels in 1800
    // twips (120) and 40 in 900 (60) would fit as drawn.
    const app::Twips t = app::Twips::fitting({{40, 900}, {100, 1200}, {110, 1800}}, 13);
    EXPECT_DOUBLE_EQ(t.scaleX(), 101 * 15.0 / 1200);
    EXPECT_DOUBLE_EQ(t.scaleY(), 1.0);
    for (const auto &[pixels, box] : {std::pair{40, 900}, {100, 1200}, {110, 1800}})
        for (int left : {0, 7, 2430, 3195, 6660}) // every rounding of the left edge
            EXPECT_GE(t.rect(left, 0, box, 195).width(), pixels) << box << " at " << left;

    // Captions with room to spare keep 15 twips a pixel; a taller font stretches down only.
    const app::Twips roomy = app::Twips::fitting({{10, 1500}}, 19.5);
    EXPECT_DOUBLE_EQ(roomy.scaleX(), 1.0);
    EXPECT_DOUBLE_EQ(roomy.scaleY(), 1.5);
    EXPECT_DOUBLE_EQ(app::Twips::fitting({}, 13).scaleX(), 1.0);
}

TEST_F(window_layout_test, title_name_flags_and_fixed_size) {
    EXPECT_EQ(window.objectName(), "FrmTest");
    EXPECT_EQ(window.windowTitle(), "FrmSetting");
    const Qt::WindowFlags flags = window.windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::CustomizeWindowHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(window.findChildren<QMenuBar *>().isEmpty()) << "no menus";

    const QSize client = window.twips().size(8970, 3960);
    EXPECT_EQ(window.size(), client);
    EXPECT_EQ(window.minimumSize(), client);
    EXPECT_EQ(window.maximumSize(), client);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.resize(client * 2);
    EXPECT_EQ(window.size(), client);
}

TEST_F(window_layout_test, icon_has_the_three_sizes) {
    const QList<QSize> sizes = window.windowIcon().availableSizes();
    for (int s : {16, 32, 48}) {
        EXPECT_TRUE(sizes.contains(QSize(s, s))) << s;
        const QImage image = window.windowIcon().pixmap(QSize(s, s)).toImage();
        EXPECT_EQ(image.size(), QSize(s, s));
        // Drawn, not blank: the corner is transparent, the middle is not.
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << s;
        EXPECT_GT(qAlpha(image.pixel(s / 2, s * 3 / 4)), 0) << s;
    }
}

TEST_F(window_layout_test, every_caption_without_access_keys) {
    const std::map<QString, QString> captions = {
        {"Label1", "Select Port:"},
        {"Label2", "IP:"},
        {"Label3", "Driver:"},
        {"Label4", "Baudrate:"},
        {"Label5", "DIP-8 Function"},
        {"Label6", "ON"},
        {"Label7", "OFF"},
        {"Label8", "Select cutter"},
        {"Label9", "Select beeper"},
        {"Label10", "Select print density"},
        {"Label11", "Two-byte character code"},
        {"Label12", "Character per line"},
        {"Label13", "Detect Paper was taken"},
        {"Label14", "Select baudrate (bps)"},
        {"Command5", "Enable DIP Switch"},
        {"CmdDS", "Disable DIP Switch"},
        {"Command1", "Restore Default Setting"},
        {"Command2", "Store Setting"},
        {"Command3", "Print Selftest"},
        {"Command4", "Close"},
        {"Option1_0", "No"},
        {"Option1_1", "Yes"},
        {"Option1_2", "Yes"},
        {"Option1_3", "No"},
        {"Option1_4", "Dark"},
        {"Option1_5", "Light"},
        {"Option1_6", "No"},
        {"Option1_7", "Yes"},
        {"Option1_8", "42"},
        {"Option1_9", "48"},
        {"Option1_10", "No"},
        {"Option1_11", "Yes"},
        {"Option1_12", "9600"},
        {"Option1_13", "38400"},
        {"Option1_14", "19200"},
        {"Option1_15", "115200"},
    };
    for (const auto &[name, caption] : captions) {
        QWidget *w = control<QWidget>(window, name);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(captionOf(w), caption) << name.toStdString();
    }
    for (int f = 0; f < 7; ++f)
        EXPECT_EQ(control<QGroupBox>(window, QStringLiteral("Frame1_%1").arg(f))->title(), "");
    for (QWidget *w : window.findChildren<QWidget *>())
        EXPECT_FALSE(captionOf(w).contains('&')) << w->objectName().toStdString();
    EXPECT_EQ(control<QLineEdit>(window, "Text1")->text(), "192.168.123.100");
}

TEST_F(window_layout_test, options_sit_in_their_frames_and_open_on_the_default_byte) {
    const int frameOf[16] = {0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 6, 6};
    std::array<bool, 16> states{};
    for (int i = 0; i < 16; ++i) {
        QRadioButton *o = option(window, i);
        ASSERT_NE(o, nullptr);
        EXPECT_EQ(o->parentWidget()->objectName(), QStringLiteral("Frame1_%1").arg(frameOf[i]))
            << i;
        EXPECT_TRUE(o->isEnabled());
        ASSERT_NE(o->group(), nullptr) << i;
        EXPECT_TRUE(o->group()->exclusive());
        states[i] = o->isChecked();
    }
    const std::array<bool, 16> opened = {false, true, true,  false, false, true,  false, true,
                                         false, true, false, true,  false, false, true,  false};
    EXPECT_EQ(states, opened);

    // Odd indices in the right column, even in the left; the baud group two by two.
    const int left = option(window, 0)->x();
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(option(window, i)->x() == left, i % 2 == 0) << i;
    EXPECT_EQ(option(window, 12)->y(), option(window, 13)->y());
    EXPECT_EQ(option(window, 14)->y(), option(window, 15)->y());
    EXPECT_GT(option(window, 14)->y(), option(window, 12)->y());
}

TEST_F(window_layout_test, inputs_buttons_and_frames_where_the_layout_puts_them) {
    const app::Twips &t = window.twips();
    const std::map<QString, QRect> places = {
        {"Combo1", t.rect(1050, 105, 1575, 315)},    {"Text1", t.rect(840, 525, 1485, 285)},
        {"Combo2", t.rect(735, 945, 1935, 315)},     {"Combo3", t.rect(975, 1350, 1095, 315)},
        {"Command5", t.rect(180, 2115, 2175, 495)},  {"CmdDS", t.rect(180, 2790, 2175, 495)},
        {"Command1", t.rect(6660, 1350, 2175, 420)}, {"Command2", t.rect(6660, 1935, 2175, 420)},
        {"Command3", t.rect(6660, 2520, 2175, 420)}, {"Command4", t.rect(6660, 3105, 2175, 420)},
        {"Frame1_0", t.rect(4590, 315, 1905, 465)},  {"Frame1_6", t.rect(4590, 3015, 1905, 825)},
    };
    for (const auto &[name, rect] : places)
        EXPECT_EQ(control<QWidget>(window, name)->geometry(), rect) << name.toStdString();
    // Labels and option buttons may be taller than their boxes, never lower or narrower.
    const std::map<QString, QRect> grown = {
        {"Label1", t.rect(105, 105, 855, 255)},
        {"Label7", t.rect(5760, 135, 375, 195)},
        {"Option1_15", t.rect(990, 540, 870, 195)},
    };
    for (const auto &[name, rect] : grown) {
        const QRect g = control<QWidget>(window, name)->geometry();
        EXPECT_EQ(g.topLeft(), rect.topLeft()) << name.toStdString();
        EXPECT_EQ(g.width(), rect.width()) << name.toStdString();
        EXPECT_GE(g.height(), rect.height()) << name.toStdString();
    }
}

TEST_F(window_layout_test, function_labels_end_together_left_of_the_frames) {
    const int frameLeft = control<QWidget>(window, "Frame1_0")->x();
    const int rightEdge = control<QLabel>(window, "Label5")->geometry().right();
    for (int n : {5, 8, 9, 10, 11, 12, 13, 14}) {
        auto *label = control<QLabel>(window, QStringLiteral("Label%1").arg(n));
        EXPECT_EQ(label->geometry().right(), rightEdge) << n;
        EXPECT_TRUE(label->alignment().testFlag(Qt::AlignRight)) << n;
    }
    EXPECT_LT(rightEdge, frameLeft);
}

TEST_F(window_layout_test, lists_are_filled_and_select_their_start_entries) {
    auto *ports = control<QComboBox>(window, "Combo1");
    auto *printers = control<QComboBox>(window, "Combo2");
    auto *rates = control<QComboBox>(window, "Combo3");
    EXPECT_EQ(items(ports),
              QStringList({"ETHERNET", "COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7",
                           "COM8", "COM9", "LPT1", "LPT2", "LPT3", "DRIVER"}));
    EXPECT_EQ(ports->currentIndex(), 0);
    EXPECT_EQ(ports->currentText(), "ETHERNET");
    EXPECT_TRUE(ports->isEditable());

    EXPECT_EQ(items(rates), QStringList({"9600", "19200", "38400", "115200"}));
    EXPECT_EQ(rates->currentText(), "19200");
    EXPECT_FALSE(rates->isEditable());

    EXPECT_EQ(printers->count(), 0) << "a print server without queues";
    EXPECT_EQ(printers->currentIndex(), -1);
    EXPECT_FALSE(printers->isEditable());

    EXPECT_EQ(enabledInputs(window), (Enabled{true, false, false}));
    for (auto *button : window.findChildren<QPushButton *>())
        EXPECT_TRUE(button->isEnabled()) << button->objectName().toStdString();
}

TEST_F(window_layout_test, focus_order_follows_the_tab_indices) {
    // Each option group is one stop, on its selected button.
    QStringList expected = {"Combo1", "Combo2", "Combo3", "Command5", "Text1", "CmdDS"};
    for (int i : {1, 2, 5, 7, 9, 11, 14})
        expected << QStringLiteral("Option1_%1").arg(i);
    expected << "Command1"
             << "Command2"
             << "Command3"
             << "Command4";

    QStringList chain;
    QWidget *start = control<QWidget>(window, "Combo1");
    QWidget *w = start;
    do {
        if ((w->focusPolicy() & Qt::TabFocus) && !w->focusProxy())
            chain << w->objectName();
        w = w->nextInFocusChain();
    } while (w != start && chain.size() <= expected.size());
    EXPECT_EQ(chain, expected);

    // Labels and frames take no focus.
    for (auto *label : window.findChildren<QLabel *>())
        EXPECT_EQ(label->focusPolicy(), Qt::NoFocus);
    for (auto *frame : window.findChildren<QGroupBox *>())
        EXPECT_EQ(frame->focusPolicy(), Qt::NoFocus);
}

TEST_F(window_layout_test, tab_goes_from_enable_to_ip_to_disable) {
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    control<QWidget>(window, "Command5")->setFocus();
    ASSERT_EQ(QApplication::focusWidget()->objectName(), "Command5");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget()->objectName(), "Text1");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget()->objectName(), "CmdDS");
}

TEST_F(window_layout_test, enter_and_escape_press_no_button) {
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    for (auto *button : window.findChildren<QPushButton *>()) {
        EXPECT_FALSE(button->autoDefault()) << button->objectName().toStdString();
        EXPECT_FALSE(button->isDefault()) << button->objectName().toStdString();
    }
    auto *ip = control<QLineEdit>(window, "Text1");
    ip->setFocus();
    QTest::keyClick(ip, Qt::Key_Return);
    QTest::keyClick(ip, Qt::Key_Escape);
    EXPECT_TRUE(lib.calls.empty());
    EXPECT_TRUE(window.shown.empty());
    EXPECT_TRUE(window.isVisible());
}

TEST_F(window_layout_test, exclusive_groups_change_only_their_own_frame) {
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    auto checked = [&] {
        std::vector<int> on;
        for (int i = 0; i < 16; ++i)
            if (option(window, i)->isChecked())
                on.push_back(i);
        return on;
    };
    QTest::mouseClick(option(window, 15), Qt::LeftButton); // 115200
    EXPECT_EQ(checked(), (std::vector<int>{1, 2, 5, 7, 9, 11, 15}));
    QTest::mouseClick(option(window, 0), Qt::LeftButton); // cutter "No"
    EXPECT_EQ(checked(), (std::vector<int>{0, 2, 5, 7, 9, 11, 15}));
    QTest::mouseClick(option(window, 0), Qt::LeftButton); // once more: stays selected
    EXPECT_EQ(checked(), (std::vector<int>{0, 2, 5, 7, 9, 11, 15}));
    QTest::mouseClick(option(window, 3), Qt::LeftButton); // beeper "No"
    EXPECT_EQ(checked(), (std::vector<int>{0, 3, 5, 7, 9, 11, 15}));
}
