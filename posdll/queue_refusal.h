// Why a print queue takes no job, said the same way wherever it is found out. Pure: no I/O.
#pragma once

#include <string>

namespace posdll {

enum class QueueRefusal { Stopped, NotAccepting };

// "the queue is stopped ('paper jam'); cupsenable 'Kitchen' starts it": the state, the server's
// reason when it gave one, and the command that mends it.
std::string queueRefusalText(QueueRefusal why, const std::string &queue, const std::string &reason);

} // namespace posdll
