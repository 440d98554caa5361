// The real window with its message boxes read instead of shown, and helpers to drive it.
#pragma once

#include "app/FrmTest.h"
#include "protocol/frames.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

// Readable QStrings in failure messages.
inline void PrintTo(const QString &s, std::ostream *os) {
    *os << '"' << s.toStdString() << '"';
}

namespace window_test {

struct Shown {
    QString title;
    QMessageBox::Icon icon;
    QString text;
    QString detail;
    bool busyCursor; // was the busy cursor still up while the box showed?
};

// A print server as the window sees it: answers with the list it is given, and counts the
// questions.
class ListedPrinters : public device::PrinterSource {
  public:
    device::PrinterList answer{{}, "127.0.0.1:631", {}};
    int asked = 0;
    device::PrinterList list() override {
        ++asked;
        return answer;
    }
};

// A server that answers with no queues, for the tests that do not look at the printer list:
// they never reach the machine's own print server.
inline ListedPrinters &noQueues() {
    static ListedPrinters none;
    return none;
}

class RecordingWindow : public app::FrmTest {
  public:
    explicit RecordingWindow(device::PosdllFuncs &lib = device::libraryPosdll(),
                             device::PrinterSource &printers = noQueues())
        : app::FrmTest(lib, printers) {}
    std::vector<Shown> shown;

  protected:
    void showMessage(const QString &title, QMessageBox::Icon icon, const QString &text,
                     const QString &detail) override {
        shown.push_back({title, icon, text, detail, QApplication::overrideCursor() != nullptr});
    }
};

// The five buttons that send, what each sends and the message it shows (nullptr: none).
struct SendingButton {
    const char *name;
    protocol::Frame frame;
    const char *message;
};

inline std::vector<SendingButton> sendingButtons() {
    return {
        {"Command5", protocol::enableFrame(), "Please Restart Printer First!"},
        {"CmdDS", protocol::disableFrame(), "Please Restart Printer First!"},
        {"Command1", protocol::writeSettingFrame(0xFD), "Please Restart Printer."},
        {"Command2", protocol::writeSettingFrame(0xFD), "Please Restart Printer."}, // as opened
        {"Command3", protocol::selfTestFrame(), nullptr},
    };
}

// The one error box a failed open shows, with a reason that mentions reasonPart.
inline void expectOpenFailedBox(const std::vector<Shown> &shown, const QString &reasonPart) {
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].title, "error");
    EXPECT_EQ(shown[0].icon, QMessageBox::Critical);
    EXPECT_EQ(shown[0].text, "Fail to open port,please check!");
    EXPECT_TRUE(shown[0].detail.contains(reasonPart, Qt::CaseInsensitive))
        << shown[0].detail.toStdString() << " does not mention " << reasonPart.toStdString();
}

template <typename T> T *control(QWidget &window, const QString &name) {
    T *w = window.findChild<T *>(name);
    EXPECT_NE(w, nullptr) << "no control " << name.toStdString();
    return w;
}

inline QRadioButton *option(QWidget &window, int index) {
    return control<QRadioButton>(window, QStringLiteral("Option1_%1").arg(index));
}

// Waits until the window is idle: the action a button started has ended (its box, if any,
// shown) and the printer list has the print server's answer.
inline void settle(QWidget &window) {
    auto *sending = control<QWidget>(window, "Command2");
    auto *printers = control<QComboBox>(window, "Combo2");
    auto idle = [&] {
        return sending->isEnabled() && printers->placeholderText() != "(asking the print server)";
    };
    EXPECT_TRUE(QTest::qWaitFor(idle, 30000)) << "the window is still busy";
}

// Clicks the control and waits for what the click started.
inline void click(QWidget &window, const char *name) {
    auto *w = control<QWidget>(window, QString::fromLatin1(name));
    ASSERT_NE(w, nullptr);
    QTest::mouseClick(w, Qt::LeftButton);
    settle(window);
}

// A combo box's entries, in its order.
inline QStringList items(QComboBox *combo) {
    QStringList list;
    for (int i = 0; i < combo->count(); ++i)
        list << combo->itemText(i);
    return list;
}

// Picks an entry from a combo box's drop-down list with the mouse, as a user does.
inline void choose(QComboBox *combo, const QString &entry) {
    const int index = combo->findText(entry);
    ASSERT_GE(index, 0) << entry.toStdString() << " is not in "
                        << combo->objectName().toStdString();
    combo->showPopup();
    QAbstractItemView *view = combo->view();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view->window()));
    const QModelIndex item = view->model()->index(index, 0);
    view->scrollTo(item);
    const QRect rect = view->visualRect(item);
    ASSERT_TRUE(view->viewport()->rect().contains(rect.center())) << entry.toStdString();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rect.center());
    ASSERT_FALSE(view->window()->isVisible()) << "the list closes on a choice";
    ASSERT_EQ(combo->currentText(), entry);
}

// Which of the three connection inputs are enabled: IP, printer, baud rate.
struct Enabled {
    bool ip, printer, baud;
    bool operator==(const Enabled &) const = default;
};

inline Enabled enabledInputs(QWidget &window) {
    return {control<QWidget>(window, "Text1")->isEnabled(),
            control<QWidget>(window, "Combo2")->isEnabled(),
            control<QWidget>(window, "Combo3")->isEnabled()};
}

inline std::ostream &operator<<(std::ostream &os, const Enabled &e) {
    return os << "{ip " << e.ip << ", printer " << e.printer << ", baud " << e.baud << "}";
}

} // namespace window_test
