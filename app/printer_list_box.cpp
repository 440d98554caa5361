#include "app/printer_list_box.h"

namespace app {

PrinterListBox::PrinterListBox(device::PrinterSource &source, QWidget *parent)
    : QComboBox(parent), m_source(source) {}

void PrinterListBox::refill() {
    const device::PrinterList printers = m_source.list();
    clear();
    for (const std::string &name : printers.names)
        addItem(QString::fromLocal8Bit(name.data(), qsizetype(name.size())));
    if (count() > 0)
        setCurrentIndex(0);

    m_serverError = printers.error;
    const QString server = QString::fromLocal8Bit(printers.server);
    const QString why = printers.serverAnswered()
                            ? QStringLiteral("No print queue is installed on %1.").arg(server)
                            : QString::fromLocal8Bit(printers.error);
    setPlaceholderText(printers.serverAnswered() ? QStringLiteral("(no printer installed)")
                                                 : QStringLiteral("(no print server)"));
    setToolTip(count() > 0 ? QString() : why);
    setAccessibleDescription(toolTip());
}

void PrinterListBox::showPopup() {
    if (count() == 0)
        refill();
    QComboBox::showPopup();
}

} // namespace app
