// Why a print queue takes no job, said the same way wherever it is found out. Pure: no I/O.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace posdll {

enum class QueueRefusal { Stopped, NotAccepting };

// "the queue is stopped ('paper jam'); cupsenable 'Kitchen' starts it": the state, the server's
// reason when it gave one, and the command that mends it.
std::string queueRefusalText(QueueRefusal why, const std::string &queue, const std::string &reason);

// What the server knows of the printer behind a queue that takes jobs: its words when a state
// reason (offline-report, connecting-to-device, media-empty-error ...) or a message a backend
// gives for a printer it cannot reach ("The printer may not exist or is unavailable at this
// time.") says the printer cannot print now; nothing otherwise.
std::optional<std::string> printerTrouble(const std::vector<std::string> &reasons,
                                          const std::string &message);

} // namespace posdll
