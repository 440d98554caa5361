#include "controls/IpFieldEditor.h"

#include "controls/ip_address_text.h"
#include "controls/utf16_view.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QStyleOptionFrame>

namespace {

constexpr int kMaxDigits = 3;

bool isAsciiDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

} // namespace

IpFieldEditor::IpFieldEditor(QWidget *parent) : QWidget(parent) {
    auto *row = new QHBoxLayout(this);
    const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
    row->setContentsMargins(frame, frame, frame, frame);
    row->setSpacing(0);
    for (int i = 0; i < int(m_fields.size()); ++i) {
        if (i > 0)
            row->addWidget(new QLabel(QStringLiteral("."), this));
        auto *field = new QLineEdit(this);
        field->setObjectName(QStringLiteral("field%1").arg(i));
        field->setFrame(false);
        field->setAlignment(Qt::AlignCenter);
        field->installEventFilter(this);
        connect(field, &QLineEdit::textEdited, this, [this, i] { fieldEdited(i); });
        row->addWidget(field, 1);
        m_fields[i] = field;
    }
    setFocusProxy(m_fields[0]);
}

void IpFieldEditor::setPacked(quint32 packed) {
    const controls::IpFields values = controls::unpackFields(packed);
    for (std::size_t i = 0; i < m_fields.size(); ++i)
        m_fields[i]->setText(QString::number(values[i]));
}

quint32 IpFieldEditor::packed() const {
    controls::IpFields values{};
    for (std::size_t i = 0; i < m_fields.size(); ++i)
        values[i] = static_cast<std::uint8_t>(m_fields[i]->text().toInt()); // blank gives 0
    return controls::packFields(values);
}

bool IpFieldEditor::eventFilter(QObject *watched, QEvent *event) {
    const int index = indexOf(watched);
    if (index >= 0 && event->type() == QEvent::KeyPress)
        return handleKey(index, static_cast<const QKeyEvent &>(*event));
    return QWidget::eventFilter(watched, event);
}

// Drawn as one line edit, so the four fields read as a single input.
void IpFieldEditor::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    QStyleOptionFrame panel;
    panel.initFrom(this);
    panel.lineWidth = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &panel, this);
    panel.state |= QStyle::State_Sunken;
    style()->drawPrimitive(QStyle::PE_PanelLineEdit, &panel, &painter, this);
}

int IpFieldEditor::indexOf(const QObject *field) const {
    for (int i = 0; i < int(m_fields.size()); ++i)
        if (m_fields[i] == field)
            return i;
    return -1;
}

// True when the key is dealt with here; false lets the field handle it as usual.
bool IpFieldEditor::handleKey(int index, const QKeyEvent &key) {
    QLineEdit *field = m_fields[index];
    const bool atStart = field->cursorPosition() == 0 && !field->hasSelectedText();
    const bool atEnd = field->cursorPosition() == field->text().size() && !field->hasSelectedText();

    if (key.matches(QKeySequence::Paste)) {
        // A whole address fills all four fields; anything else is pasted and then filtered.
        return takeDottedText(QGuiApplication::clipboard()->text().trimmed());
    }
    switch (key.key()) {
    case Qt::Key_Period:
        moveTo(index + 1, Landing::All);
        return true;
    case Qt::Key_Backspace:
    case Qt::Key_Left:
        if (atStart && index > 0) {
            moveTo(index - 1, Landing::End);
            return true;
        }
        return false;
    case Qt::Key_Right:
        if (atEnd && index + 1 < int(m_fields.size())) {
            moveTo(index + 1, Landing::Start);
            return true;
        }
        return false;
    default:
        break;
    }

    const QString text = key.text();
    constexpr auto shortcutKeys = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
    if (text.isEmpty() || !text.front().isPrint() || (key.modifiers() & shortcutKeys))
        return false; // navigation, deletion and shortcuts
    if (text.size() == 1 && isAsciiDigit(text.front()))
        return field->text().size() >= kMaxDigits && !field->hasSelectedText(); // full: refused
    return true; // any other printable character is refused
}

// Brings whatever the user put into a field (typed, pasted from the menu, dropped) back to at
// most three digits and at most 255, and moves on once three digits are typed.
void IpFieldEditor::fieldEdited(int index) {
    QLineEdit *field = m_fields[index];
    const QString text = field->text();
    if (text.contains(u'.') && takeDottedText(text))
        return;

    QString digits;
    for (const QChar c : text)
        if (isAsciiDigit(c) && digits.size() < kMaxDigits)
            digits += c;
    if (digits.toInt() > 255)
        digits = QStringLiteral("255");
    if (digits != text)
        field->setText(digits);
    if (digits.size() == kMaxDigits && field->cursorPosition() == kMaxDigits)
        moveTo(index + 1, Landing::All);
    emit edited();
}

// Fills all four fields when `text` is an address the box itself would accept.
bool IpFieldEditor::takeDottedText(const QString &text) {
    const controls::ParseResult parsed = controls::parseDotted(controls::utf16View(text));
    if (parsed.error != controls::IpTextError::None)
        return false;
    setPacked(parsed.packed);
    moveTo(int(m_fields.size()) - 1, Landing::End);
    emit edited();
    return true;
}

void IpFieldEditor::moveTo(int index, Landing landing) {
    if (index < 0 || index >= int(m_fields.size()))
        return;
    QLineEdit *field = m_fields[index];
    field->setFocus(Qt::OtherFocusReason);
    switch (landing) {
    case Landing::Start:
        field->setCursorPosition(0);
        break;
    case Landing::End:
        field->setCursorPosition(field->text().size());
        break;
    case Landing::All:
        field->selectAll();
        break;
    }
}
