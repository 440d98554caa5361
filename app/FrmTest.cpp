#include "app/FrmTest.h"

#include "app/caption_fit.h"
#include "app/message.h"
#include "app/printer_list_box.h"
#include "device/port_catalogue.h"
#include "device/port_kind.h"
#include "protocol/setting_byte.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QIcon>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtConcurrent>

#include <algorithm>
#include <utility>
#include <vector>

namespace app {

namespace {

// Positions and sizes in twips, relative to the container's client area.
struct Place {
    int left, top, width, height;
};

struct LabelRow {
    const char *caption;
    Place place;
    bool functionLabel; // right-aligned against the frames
};

QRect twipsBox(const Place &p) {
    return QRect(p.left, p.top, p.width, p.height);
}

// Label1 ... Label14.
constexpr LabelRow kLabels[] = {
    {"Select Port:", {105, 105, 855, 255}, false},
    {"IP:", {105, 570, 255, 255}, false},
    {"Driver:", {105, 990, 495, 255}, false},
    {"Baudrate:", {105, 1410, 750, 255}, false},
    {"DIP-8 Function", {3285, 135, 1140, 195}, true},
    {"ON", {4950, 135, 285, 195}, false},
    {"OFF", {5760, 135, 375, 195}, false},
    {"Select cutter", {3420, 495, 1005, 240}, true},
    {"Select beeper", {3375, 900, 1050, 240}, true},
    {"Select print density", {3060, 1350, 1365, 195}, true},
    {"Two-byte character code", {2430, 1800, 1995, 240}, true},
    {"Character per line", {2790, 2250, 1635, 240}, true},
    {"Detect Paper was taken", {2610, 2700, 1815, 240}, true},
    {"Select baudrate (bps)", {3195, 3150, 1230, 510}, true},
};
constexpr int kWrappingLabel = 13;     // Label14 stands two lines high
constexpr int kFirstFunctionLabel = 7; // Label8, beside Frame1(0); the others follow in order

constexpr int kFrameLeft = 4590;
constexpr int kFrameWidth = 1905;

struct FrameRow {
    int top, height, tabIndex;
};

constexpr FrameRow kFrames[] = {
    {315, 465, 20},  {765, 465, 23},  {1215, 465, 26}, {1665, 465, 29},
    {2115, 465, 32}, {2565, 465, 35}, {3015, 825, 38},
};

using protocol::Baud;
using protocol::CharsPerLine;
using protocol::Density;
using protocol::SettingChoices;

// Selecting a button chooses one value for its group's function.
template <auto Function, auto Value> void choose(SettingChoices &c) {
    c.*Function = Value;
}

struct OptionRow {
    const char *caption; // nullptr: a baud button, captioned with its rate
    int frame;
    Place place; // relative to the frame
    int tabIndex;
    void (*choose)(SettingChoices &);
};

constexpr OptionRow kOptions[] = {
    {"No", 0, {180, 180, 690, 195}, 21, choose<&SettingChoices::cutter, false>},
    {"Yes", 0, {990, 180, 690, 195}, 22, choose<&SettingChoices::cutter, true>},
    {"Yes", 1, {180, 180, 690, 195}, 24, choose<&SettingChoices::beeper, true>},
    {"No", 1, {990, 180, 690, 195}, 25, choose<&SettingChoices::beeper, false>},
    {"Dark", 2, {180, 180, 690, 195}, 27, choose<&SettingChoices::density, Density::Dark>},
    {"Light", 2, {990, 180, 690, 195}, 28, choose<&SettingChoices::density, Density::Light>},
    {"No", 3, {180, 180, 690, 195}, 30, choose<&SettingChoices::twoByteCode, false>},
    {"Yes", 3, {990, 180, 690, 195}, 31, choose<&SettingChoices::twoByteCode, true>},
    {"42",
     4,
     {180, 180, 690, 195},
     33,
     choose<&SettingChoices::charsPerLine, CharsPerLine::Chars42>},
    {"48",
     4,
     {990, 180, 690, 195},
     34,
     choose<&SettingChoices::charsPerLine, CharsPerLine::Chars48>},
    {"No", 5, {180, 180, 690, 195}, 36, choose<&SettingChoices::paperTakenDetect, false>},
    {"Yes", 5, {990, 180, 690, 195}, 37, choose<&SettingChoices::paperTakenDetect, true>},
    {nullptr, 6, {180, 180, 690, 195}, 39, choose<&SettingChoices::baud, Baud::Rate9600>},
    {nullptr, 6, {990, 180, 780, 195}, 40, choose<&SettingChoices::baud, Baud::Rate38400>},
    {nullptr, 6, {180, 540, 870, 195}, 41, choose<&SettingChoices::baud, Baud::Rate19200>},
    {nullptr, 6, {990, 540, 870, 195}, 42, choose<&SettingChoices::baud, Baud::Rate115200>},
};

SettingChoices chosenBy(const OptionRow &row, SettingChoices c = {}) {
    row.choose(c);
    return c;
}

// A button is selected for the choices it would leave as they are.
bool shows(const OptionRow &row, const SettingChoices &c) {
    return chosenBy(row, c) == c;
}

QString optionCaption(std::size_t option) {
    if (const char *caption = kOptions[option].caption)
        return QString::fromLatin1(caption);
    return QString::number(protocol::baudRate(chosenBy(kOptions[option]).baud));
}

constexpr int kClientWidth = 8970;
constexpr int kClientHeight = 3960;

// Strings for the device library: 8-bit, in the system's encoding.
std::string local8(const QString &s) {
    return s.toLocal8Bit().toStdString();
}

QIcon programIcon() {
    QIcon icon;
    for (int size : {16, 32, 48}) {
        QImageReader png(QStringLiteral(":/icons/posdip-%1.png").arg(size), "png");
        png.setAutoDetectImageFormat(false); // else every image plugin is loaded to be asked
        icon.addPixmap(QPixmap::fromImage(png.read()));
    }
    return icon;
}

} // namespace

FrmTest::FrmTest(device::PosdllFuncs &lib, device::PrinterSource &printers, QWidget *parent)
    : QWidget(parent), m_lib(lib) {
    setObjectName(QStringLiteral("FrmTest"));
    setWindowTitle(QStringLiteral("FrmSetting"));
    // Close button only: no minimize, no maximize; the fixed size forbids resizing.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowIcon(programIcon());

    m_worker.setMaxThreadCount(1);
    createControls(printers);
    setTabOrderByIndex();
    nameForAssistiveTools();
    connectHandlers();
    formLoad();
    layOut(); // after the lists are filled: their entries count among the captions
}

FrmTest::~FrmTest() {
    if (m_acting) {
        m_action.waitForFinished(); // the action reads the device library it was handed
        endAction();
    }
}

void FrmTest::createControls(device::PrinterSource &printers) {
    auto place = [this](QWidget *w, const QString &name, const Place &p) {
        w->setObjectName(name);
        m_placed.push_back({w, twipsBox(p)});
    };
    auto button = [&](const char *name, Action action, const Place &p) {
        auto *b = new QPushButton(QString::fromLatin1(actionName(action)), this);
        b->setAutoDefault(false); // no button reacts to Enter
        b->setDefault(false);
        place(b, QString::fromLatin1(name), p);
        return b;
    };
    auto list = [&](auto *c, const char *name, const Place &p) {
        place(c, QString::fromLatin1(name), p);
        return c;
    };

    for (std::size_t i = 0; i < m_label.size(); ++i) {
        const LabelRow &row = kLabels[i];
        auto *label = new QLabel(QString::fromLatin1(row.caption), this);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(row.functionLabel ? Qt::AlignRight | Qt::AlignTop
                                              : Qt::AlignLeft | Qt::AlignTop);
        label->setWordWrap(static_cast<int>(i) == kWrappingLabel);
        place(label, QStringLiteral("Label%1").arg(i + 1), row.place);
        m_label[i] = label;
    }

    m_combo1 = list(new QComboBox(this), "Combo1", {1050, 105, 1575, 315});
    m_combo1->setEditable(true);
    m_combo1->setInsertPolicy(QComboBox::NoInsert);
    m_combo1->setCompleter(nullptr); // typed text stays as typed, so "L" is not yet "LPT1"
    m_combo1->setEditText(QStringLiteral("Combo1"));
    m_text1 = new QLineEdit(QStringLiteral("192.168.123.100"), this);
    place(m_text1, QStringLiteral("Text1"), {840, 525, 1485, 285});
    m_combo2 = list(new PrinterListBox(printers, this), "Combo2", {735, 945, 1935, 315});
    m_combo3 = list(new QComboBox(this), "Combo3", {975, 1350, 1095, 315});

    m_command5 = button("Command5", Action::EnableDip, {180, 2115, 2175, 495});
    m_cmdDS = button("CmdDS", Action::DisableDip, {180, 2790, 2175, 495});
    m_command1 = button("Command1", Action::RestoreDefault, {6660, 1350, 2175, 420});
    m_command2 = button("Command2", Action::StoreSetting, {6660, 1935, 2175, 420});
    m_command3 = button("Command3", Action::PrintSelfTest, {6660, 2520, 2175, 420});
    m_command4 = button("Command4", Action::Close, {6660, 3105, 2175, 420});

    for (std::size_t f = 0; f < m_frame1.size(); ++f) {
        auto *frame = new QGroupBox(this);
        place(frame, QStringLiteral("Frame1_%1").arg(f),
              {kFrameLeft, kFrames[f].top, kFrameWidth, kFrames[f].height});
        m_frame1[f] = frame;
        m_group[f] = new QButtonGroup(frame);
        m_group[f]->setExclusive(true);
    }
    const SettingChoices opening = protocol::defaultChoices();
    for (std::size_t i = 0; i < m_option1.size(); ++i) {
        const OptionRow &row = kOptions[i];
        auto *option = new QRadioButton(optionCaption(i), m_frame1[row.frame]);
        place(option, QStringLiteral("Option1_%1").arg(i), row.place);
        m_group[row.frame]->addButton(option, static_cast<int>(i));
        option->setChecked(shows(row, opening));
        m_option1[i] = option;
    }
    for (std::size_t f = 0; f < m_group.size(); ++f) {
        const int group = static_cast<int>(f);
        keepTabOnSelectedOption(group);
        connect(m_group[f], &QButtonGroup::idToggled, this,
                [this, group] { keepTabOnSelectedOption(group); });
    }
}

void FrmTest::setTabOrderByIndex() {
    std::vector<std::pair<int, QWidget *>> order = {
        {1, m_combo1}, {4, m_combo2},    {6, m_combo3},    {7, m_command5},  {8, m_text1},
        {9, m_cmdDS},  {43, m_command1}, {44, m_command2}, {45, m_command3}, {46, m_command4},
    };
    for (std::size_t i = 0; i < m_option1.size(); ++i)
        order.emplace_back(kOptions[i].tabIndex, m_option1[i]);
    std::sort(order.begin(), order.end(),
              [](const auto &a, const auto &b) { return a.first < b.first; });
    for (std::size_t i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1].second, order[i].second);
}

// Tab reaches an option group once, on its selected button; the arrow keys move within it.
void FrmTest::keepTabOnSelectedOption(int group) {
    for (QAbstractButton *b : m_group[static_cast<std::size_t>(group)]->buttons())
        b->setFocusPolicy(b->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
}

// Names a screen reader speaks: each input the caption of its label (no access keys, as the
// captions carry no '&'), each option group its function, each button what it does.
void FrmTest::nameForAssistiveTools() {
    setAccessibleName(QStringLiteral("FrmSetting: receipt printer settings"));
    setAccessibleDescription(
        QStringLiteral("How the printer is attached, one value for each of seven printer "
                       "functions, and the buttons that send them"));
    const struct {
        QLabel *label;
        QWidget *input;
        const char *name; // the caption without its colon; the IP field says what it takes
    } buddies[] = {{m_label[0], m_combo1, "Select Port"},
                   {m_label[1], m_text1, "IP address"},
                   {m_label[2], m_combo2, "Driver"},
                   {m_label[3], m_combo3, "Baudrate"}};
    for (const auto &b : buddies) {
        b.label->setBuddy(b.input);
        b.input->setAccessibleName(QString::fromLatin1(b.name));
    }
    m_text1->setAccessibleDescription(
        QStringLiteral("The printer's network address, optionally followed by :PORT"));
    for (std::size_t f = 0; f < m_frame1.size(); ++f)
        m_frame1[f]->setAccessibleName(m_label[kFirstFunctionLabel + f]->text());

    const std::pair<QPushButton *, const char *> buttons[] = {
        {m_command5, "Sends the DIP-switch enable command to the printer"},
        {m_cmdDS, "Sends the DIP-switch disable command to the printer"},
        {m_command1, "Sends the printer's default setting to the printer"},
        {m_command2, "Sends the setting chosen in the option groups to the printer"},
        {m_command3, "Makes the printer print its self-test"},
        {m_command4, "Ends the program"},
    };
    for (const auto &[button, what] : buttons)
        button->setAccessibleDescription(QString::fromLatin1(what)); // the caption is the name
}

// Chooses the ratios from what the captions need in the font in use, then places every control.
// Labels and option buttons keep their boxes' widths and may only grow downwards to the height
// their text needs; the layout leaves room below each.
void FrmTest::layOut() {
    std::vector<WidthNeed> needs;
    for (const Placed &p : m_placed)
        if (p.control != m_combo2 && qobject_cast<QGroupBox *>(p.control) == nullptr)
            needs.push_back({neededWidth(*p.control), p.box.width()});
    m_twips = Twips::fitting(needs, fontMetrics().height());

    setFixedSize(m_twips.size(kClientWidth, kClientHeight));
    for (const Placed &p : m_placed) {
        p.control->setGeometry(m_twips.rect(p.box.x(), p.box.y(), p.box.width(), p.box.height()));
        if (qobject_cast<QLabel *>(p.control) || qobject_cast<QRadioButton *>(p.control))
            p.control->resize(p.control->width(),
                              std::max(p.control->height(), neededHeight(*p.control)));
    }
}

void FrmTest::connectHandlers() {
    connect(m_combo1, &QComboBox::activated, this, &FrmTest::combo1Click);
    connect(m_combo1, &QComboBox::editTextChanged, this, &FrmTest::combo1Change);
    connect(m_command1, &QPushButton::clicked, this, &FrmTest::command1Click);
    connect(m_command2, &QPushButton::clicked, this, &FrmTest::command2Click);
    connect(m_command3, &QPushButton::clicked, this, &FrmTest::command3Click);
    connect(m_command4, &QPushButton::clicked, this, &FrmTest::command4Click);
    connect(m_command5, &QPushButton::clicked, this, &FrmTest::command5Click);
    connect(m_cmdDS, &QPushButton::clicked, this, &FrmTest::cmdDSClick);
    connect(&m_action, &QFutureWatcherBase::finished, this, [this] {
        if (m_acting) // not yet ended by a close that waited for it
            report(endAction());
    });
}

void FrmTest::formLoad() {
    for (std::string_view port : device::kPortCatalogue)
        m_combo1->addItem(QString::fromLatin1(port.data(), static_cast<qsizetype>(port.size())));
    m_combo1->setCurrentIndex(0);
    combo1Click(0);

    for (int rate : protocol::kBaudRates)
        m_combo3->addItem(QString::number(rate));
    m_combo3->setCurrentText(QString::number(protocol::defaultBaud()));

    // Asked once the window is up: loading the print server's library takes longer than
    // drawing the window, and needs none of it.
    QMetaObject::invokeMethod(m_combo2, &PrinterListBox::refill, Qt::QueuedConnection);
}

void FrmTest::combo1Click(int index) {
    applyPortKind(m_combo1->itemText(index));
}

void FrmTest::combo1Change(const QString &text) {
    applyPortKind(text);
}

void FrmTest::applyPortKind(const QString &portName) {
    bool ip = false, printer = false, baud = false;
    switch (device::portKindOf(local8(portName))) {
    case device::PortKind::Ethernet:
        ip = true;
        break;
    case device::PortKind::Serial:
        baud = true;
        break;
    case device::PortKind::Parallel:
        break;
    case device::PortKind::Driver:
        printer = true;
        break;
    case device::PortKind::Unknown:
        return; // other text leaves the inputs as they are
    }
    m_text1->setEnabled(ip);
    m_combo2->setEnabled(printer);
    m_combo3->setEnabled(baud);
}

ActionInputs FrmTest::inputs() const {
    ActionInputs in;
    // A pasted address often brings blanks along; they are no part of it.
    in.port = {local8(m_combo1->currentText()), local8(m_text1->text().trimmed()),
               local8(m_combo3->currentText()), local8(m_combo2->currentText()),
               m_combo2->serverError()};
    for (std::size_t i = 0; i < m_option1.size(); ++i)
        if (m_option1[i]->isChecked())
            kOptions[i].choose(in.choices);
    return in;
}

// The action runs on the window's worker thread, so the window keeps drawing and answering; it
// opens, writes and closes there, as the device library keeps its port per thread. Until it ends
// the buttons that send are disabled and the cursor is busy.
void FrmTest::run(Action action) {
    m_focus = focusWidget();
    setFocus(Qt::OtherFocusReason); // not on to the next button: a second key press would hit it
    setSendingEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_acting = true;
    m_action.setFuture(QtConcurrent::run(&m_worker, [action, in = inputs(), &lib = m_lib] {
        return messageFor(action, runAction(action, in, lib));
    }));
}

// Gives the window back to the user; the action has finished.
Message FrmTest::endAction() {
    m_acting = false;
    QApplication::restoreOverrideCursor();
    setSendingEnabled(true);
    if (m_focus && focusWidget() == this) // unless the user has moved it meanwhile
        m_focus->setFocus(Qt::OtherFocusReason);
    return m_action.result();
}

void FrmTest::report(const Message &outcome) {
    switch (outcome.kind) {
    case MessageKind::Box:
        showMessage(QString::fromStdString(outcome.title),
                    outcome.icon == MessageIcon::Error ? QMessageBox::Critical
                                                       : QMessageBox::Information,
                    QString::fromStdString(outcome.text), QString::fromLocal8Bit(outcome.detail));
        break;
    case MessageKind::Silent:
        break;
    case MessageKind::Quit:
        close(); // the last window: the program ends with it
        break;
    }
}

void FrmTest::setSendingEnabled(bool enabled) {
    for (QPushButton *b : {m_command5, m_cmdDS, m_command1, m_command2, m_command3})
        b->setEnabled(enabled);
}

void FrmTest::closeEvent(QCloseEvent *event) {
    if (m_acting) {
        m_action.waitForFinished();
        endAction();
    }
    QWidget::closeEvent(event);
}

void FrmTest::showMessage(const QString &title, QMessageBox::Icon icon, const QString &text,
                          const QString &detail) {
    QMessageBox box(icon, title, text, QMessageBox::Ok, this);
    box.setInformativeText(detail);
    box.exec();
}

void FrmTest::command1Click() {
    run(Action::RestoreDefault);
}
void FrmTest::command2Click() {
    run(Action::StoreSetting);
}
void FrmTest::command3Click() {
    run(Action::PrintSelfTest);
}
void FrmTest::command4Click() {
    if (m_acting)
        close(); // which waits for the action
    else
        run(Action::Close);
}
void FrmTest::command5Click() {
    run(Action::EnableDip);
}
void FrmTest::cmdDSClick() {
    run(Action::DisableDip);
}

} // namespace app
