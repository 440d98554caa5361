#include "controls/dmIp.h"

#include "controls/IpFieldEditor.h"
#include "controls/ip_address_text.h"
#include "controls/utf16_view.h"

#include <QFontDatabase>

namespace {

// The box's design size: 1980 x 285 twips at 15 twips a pixel.
constexpr QSize kDesignSize(132, 19);
constexpr auto kInitialAddress = u"192.168.123.100";

[[noreturn]] void throwError(controls::IpTextError error) {
    throw IpBoxError(static_cast<int>(error),
                     controls::toQString(controls::ipTextErrorDescription(error)));
}

} // namespace

IpBoxError::IpBoxError(int number, QString description)
    : m_number(number), m_description(std::move(description)),
      m_what(QByteArray::number(number) + ": " + m_description.toUtf8()) {}

IpBox::IpBox(QWidget *parent) : IpBox([](QWidget *p) { return new IpFieldEditor(p); }, parent) {}

IpBox::IpBox(FieldFactory makeField, QWidget *parent)
    : QWidget(parent), m_makeField(std::move(makeField)) {
    resize(kDesignSize);
    CreateTextBox();
    setAddress(QString::fromUtf16(kInitialAddress));
}

QVariant IpBox::CountIF(const QString &lzExpr, const QString &nChar) {
    const controls::CountResult r =
        controls::countIf(controls::utf16View(lzExpr), controls::utf16View(nChar));
    if (r.error != controls::IpTextError::None)
        throwError(r.error);
    return QVariant::fromValue<qint16>(r.count);
}

void IpBox::CreateTextBox() {
    m_field = m_makeField(this);
    if (!m_field)
        return;
    m_field->setGeometry(rect());
    m_field->setFont(QFontDatabase::systemFont(QFontDatabase::GeneralFont));
    m_field->show();
    setFocusProxy(m_field);
}

QString IpBox::Address() const {
    return readAddress();
}

void IpBox::setAddress(const QString &NewIP) {
    const controls::ParseResult r = controls::parseDotted(controls::utf16View(NewIP));
    if (r.error != controls::IpTextError::None)
        throwError(r.error);
    if (m_field)
        m_field->setPacked(r.packed);
}

QSize IpBox::sizeHint() const {
    return kDesignSize;
}

void IpBox::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    if (m_field)
        m_field->setGeometry(rect());
}

QString IpBox::readAddress() const {
    const quint32 packed = m_field ? m_field->packed() : 0;
    return controls::toQString(controls::formatDotted(packed));
}
