#include "queue_refusal.h"

#include "quoted.h"

namespace posdll {

std::string queueRefusalText(QueueRefusal why, const std::string &queue,
                             const std::string &reason) {
    const std::string because = reason.empty() ? "" : " (" + quoted(reason) + ")";
    switch (why) {
    case QueueRefusal::Stopped:
        return "the queue is stopped" + because + "; cupsenable " + quoted(queue) + " starts it";
    case QueueRefusal::NotAccepting:
        return "the queue does not accept jobs" + because + "; cupsaccept " + quoted(queue) +
               " opens it";
    }
    return {};
}

} // namespace posdll
