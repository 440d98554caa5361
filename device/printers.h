// The print queues installed on this system, and the seam through which the window asks for them.
#pragma once

#include "device/failure.h"

#include <string>
#include <vector>

namespace device {

// A queue as `lpstat -p -v` shows it.
enum class QueueState { Idle, Processing, Stopped };
const char *queueStateName(QueueState state); // "idle", "processing", "stopped"

struct QueueEntry {
    std::string name;
    QueueState state = QueueState::Idle;
    bool accepting = false; // printer-is-accepting-jobs
    std::string deviceUri;  // "socket://10.1.2.3:9100"; empty when the server gave none
};

struct PrinterList {
    std::vector<std::string> names; // in the order the print server lists them
    std::string server;             // the server asked: "HOST:PORT" or its local socket
    // Empty when the server answered (with queues or without); otherwise which server could not
    // be asked and why.
    std::string error;
    bool serverAnswered() const { return error.empty(); }
    std::vector<QueueEntry> queues; // the same as names, with their state
};

// One request to the print server that libcups is set up for, every wait bounded.
PrinterList installedPrinters();

// A print queue's own state: a queue passes nothing back from its printer, so this is all that
// can be said about a DRIVER target.
struct QueueStatus {
    std::string queue;
    bool exists = false;
    bool accepting = false;
    bool stopped = false;
    std::string reason; // the server's message about the queue, often why it was stopped
    // The server's words when what it knows of the printer says it cannot print (off-line,
    // unreachable, out of paper); empty otherwise.
    std::string printerTrouble;
    std::string error; // empty when the server answered; else which server and why not
    // With an error: Usage for a name that cannot be a queue's, Refused when the server cannot be
    // reached, Timeout when it does not answer.
    FailKind failKind = FailKind::Ok;
    int failErrno = 0; // the system's error behind failKind, 0 when none
    bool ready() const {
        return error.empty() && exists && accepting && !stopped && printerTrouble.empty();
    }
};

QueueStatus queueStatus(const std::string &queue);

// Where the window gets its printer list; tests hand it another list.
class PrinterSource {
  public:
    virtual ~PrinterSource() = default;
    virtual PrinterList list() = 0;
};

// The print server's queues, through installedPrinters().
PrinterSource &systemPrinters();

} // namespace device
