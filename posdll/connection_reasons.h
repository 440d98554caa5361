// What a system error means for a port: the library's kind of failure, and the words for a
// connection to a printer. Shared by the transports and by callers that talk to many network
// printers without them (a scan).
#pragma once

#include <string>

namespace posdll {

// The POS_ERR_ code a system error stands for: ECONNREFUSED refused, ENOENT missing ...
int errorKindOf(int err);

// "connection refused", "the printer reset the connection" ... for a system error.
std::string connectionReasonOf(int err);

// Why a printer's answer did not come: its end of stream (err 0) or the system's error.
std::string noAnswerReason(int err);

} // namespace posdll
