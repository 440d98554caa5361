// The printer list (Combo2): the print server's queues, or a placeholder that says why there are
// none. The server is asked on a worker thread, so a server that does not answer never holds up
// the window; until it answers the list says so. While it is empty it asks again each time it is
// opened, so a server that has come back (or a queue just added) shows up without restarting the
// program.
#pragma once

#include "device/printers.h"

#include <QComboBox>
#include <QFutureWatcher>
#include <QThreadPool>

namespace app {

class PrinterListBox : public QComboBox {
  public:
    PrinterListBox(device::PrinterSource &source, QWidget *parent);

    // Asks the print server for its queues; once it answers, shows them, the first one selected.
    void refill();
    // Why the list is empty when the print server could not be asked (or has not answered yet);
    // empty otherwise.
    const std::string &serverError() const { return m_serverError; }

    // An empty list asks first and opens with the answer.
    void showPopup() override;

  private:
    void sayAsking();
    void fill(const device::PrinterList &printers);

    device::PrinterSource &m_source;
    std::string m_serverError;
    bool m_openOnAnswer = false;
    QThreadPool m_worker; // waits for the question when the list goes: it reads m_source
    QFutureWatcher<device::PrinterList> m_answer;
};

} // namespace app
