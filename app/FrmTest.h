// The settings window: the connection inputs, seven option groups and the six action buttons.
#pragma once

#include "app/actions.h"
#include "app/message.h"
#include "app/twips.h"
#include "device/PosdllFuncs.h"
#include "device/printers.h"

#include <QFutureWatcher>
#include <QMessageBox>
#include <QPointer>
#include <QThreadPool>
#include <QWidget>

#include <array>
#include <vector>

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace app {

class PrinterListBox;

class FrmTest : public QWidget {
    Q_OBJECT

  public:
    // The window sends through lib and lists the queues of printers: the real device library
    // and print server unless a test hands in others.
    explicit FrmTest(device::PosdllFuncs &lib = device::libraryPosdll(),
                     device::PrinterSource &printers = device::systemPrinters(),
                     QWidget *parent = nullptr);
    ~FrmTest() override;

    // The ratios the layout was drawn at, chosen for the captions in the font in use.
    const Twips &twips() const { return m_twips; }

  protected:
    // The one place an outcome reaches the user: a modal box with an OK button. Tests override it
    // to read what would be shown.
    virtual void showMessage(const QString &title, QMessageBox::Icon icon, const QString &text,
                             const QString &detail);
    // Closing while an action runs waits for it (its own bounds limit the wait); what it would
    // have said is not shown on a window that is going away.
    void closeEvent(QCloseEvent *event) override;

  private:
    struct Placed {
        QWidget *control;
        QRect box; // in twips, relative to its container
    };

    void createControls(device::PrinterSource &printers);
    void setTabOrderByIndex();
    void nameForAssistiveTools();
    void layOut();
    void keepTabOnSelectedOption(int group);
    void connectHandlers();

    void formLoad();
    void combo1Click(int index);
    void combo1Change(const QString &text);
    void command1Click();
    void command2Click();
    void command3Click();
    void command4Click();
    void command5Click();
    void cmdDSClick();

    void applyPortKind(const QString &portName);
    ActionInputs inputs() const;
    void run(Action action);
    Message endAction();
    void report(const Message &outcome);
    void setSendingEnabled(bool enabled);

    device::PosdllFuncs &m_lib;
    Twips m_twips{1.0, 1.0};
    std::vector<Placed> m_placed; // every control with its box in twips

    QComboBox *m_combo1 = nullptr;      // port
    PrinterListBox *m_combo2 = nullptr; // printer
    QComboBox *m_combo3 = nullptr;      // baud rate
    QLineEdit *m_text1 = nullptr;       // IP address
    QPushButton *m_command1 = nullptr;
    QPushButton *m_command2 = nullptr;
    QPushButton *m_command3 = nullptr;
    QPushButton *m_command4 = nullptr;
    QPushButton *m_command5 = nullptr;
    QPushButton *m_cmdDS = nullptr;
    std::array<QLabel *, 14> m_label{}; // Label1 ... Label14 at 0 ... 13
    std::array<QGroupBox *, 7> m_frame1{};
    std::array<QButtonGroup *, 7> m_group{}; // the exclusive group of each frame
    std::array<QRadioButton *, 16> m_option1{};

    QThreadPool m_worker; // one thread: the device library keeps its port per thread
    QFutureWatcher<Message> m_action;
    bool m_acting = false;     // an action runs, its buttons are disabled and the cursor busy
    QPointer<QWidget> m_focus; // where the keyboard focus was when the action started
};

} // namespace app
