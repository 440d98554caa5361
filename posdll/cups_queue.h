// What the print server says about one queue. Shared by the spool port and the queue status.
#pragma once

#include "posdll/cups_connection.h"

#include <string>
#include <vector>

namespace posdll::cups {

// A request about the queue, with the attributes every operation on it carries.
Ipp queueRequest(ipp_op_t op, const std::string &queue);

struct QueueState {
    bool exists = false;
    bool stopped = false;
    bool accepting = false;
    std::string message; // printer-state-message, often the reason given to cupsdisable/-reject
    std::vector<std::string> reasons; // printer-state-reasons, without "none"
};

// Asks the server about the queue; false with why when the server gave no usable answer.
bool queryQueue(http_t *http, const std::string &queue, QueueState &state, std::string &why);

} // namespace posdll::cups
