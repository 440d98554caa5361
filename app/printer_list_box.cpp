#include "app/printer_list_box.h"

#include <QtConcurrent>

#include <utility>

namespace app {

PrinterListBox::PrinterListBox(device::PrinterSource &source, QWidget *parent)
    : QComboBox(parent), m_source(source) {
    sayAsking(); // until the first answer
    m_worker.setMaxThreadCount(1);
    connect(&m_answer, &QFutureWatcherBase::finished, this, [this] {
        fill(m_answer.result());
        if (std::exchange(m_openOnAnswer, false))
            QComboBox::showPopup();
    });
}

void PrinterListBox::refill() {
    if (m_answer.isRunning())
        return; // the answer to the question already asked fills the list
    sayAsking();
    m_answer.setFuture(
        QtConcurrent::run(&m_worker, [&source = m_source] { return source.list(); }));
}

void PrinterListBox::sayAsking() {
    setPlaceholderText(QStringLiteral("(asking the print server)"));
    m_serverError = "the print server has not answered yet";
}

void PrinterListBox::fill(const device::PrinterList &printers) {
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
    if (count() > 0) {
        QComboBox::showPopup();
        return;
    }
    m_openOnAnswer = true;
    refill();
}

} // namespace app
