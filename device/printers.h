// The print queues installed on this system, and the seam through which the window asks for them.
#pragma once

#include <string>
#include <vector>

namespace device {

struct PrinterList {
    std::vector<std::string> names; // in the order the print server lists them
    std::string server;             // the server asked: "HOST:PORT" or its local socket
    // Empty when the server answered (with queues or without); otherwise which server could not
    // be asked and why.
    std::string error;
    bool serverAnswered() const { return error.empty(); }
};

// One request to the print server that libcups is set up for, every wait bounded.
PrinterList installedPrinters();

// Where the window gets its printer list; tests hand it another list.
class PrinterSource {
  public:
    virtual ~PrinterSource() = default;
    virtual PrinterList list() = 0;
};

// The print server's queues, through installedPrinters().
PrinterSource &systemPrinters();

} // namespace device
