// The printer list (Combo2): the print server's queues, or a placeholder that says why there are
// none. While it is empty it asks the server again each time it is opened, so a server that has
// come back (or a queue just added) shows up without restarting the program.
#pragma once

#include "device/printers.h"

#include <QComboBox>

namespace app {

class PrinterListBox : public QComboBox {
  public:
    PrinterListBox(device::PrinterSource &source, QWidget *parent);

    // Asks the print server for its queues and shows them, the first one selected.
    void refill();
    // Why the list is empty when the print server could not be asked; empty otherwise.
    const std::string &serverError() const { return m_serverError; }

    void showPopup() override;

  private:
    device::PrinterSource &m_source;
    std::string m_serverError;
};

} // namespace app
