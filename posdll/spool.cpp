// Print queues are not supported yet.
#include "posdll/transport.h"

namespace posdll {

std::unique_ptr<Transport> openSpool(const std::string &queue) {
    setLastError("print queue '" + queue + "': printing through a queue is not supported yet");
    return nullptr;
}

} // namespace posdll
