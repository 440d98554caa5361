#include "device/printers.h"

#include "posdll/port_names.h"
#include "posdll/posdll.h"

#include <string>

namespace device {

namespace {

class SystemPrinters final : public PrinterSource {
  public:
    PrinterList list() override { return installedPrinters(); }
};

std::string printServer() {
    std::string name(256, '\0');
    const int length = POS_PrintServer(name.data(), static_cast<int>(name.size()));
    if (length >= static_cast<int>(name.size())) {
        name.resize(static_cast<std::size_t>(length) + 1);
        POS_PrintServer(name.data(), static_cast<int>(name.size()));
    }
    name.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    return name;
}

} // namespace

const char *queueStateName(QueueState state) {
    switch (state) {
    case QueueState::Idle:
        return "idle";
    case QueueState::Processing:
        return "processing";
    case QueueState::Stopped:
        return "stopped";
    }
    return "idle"; // not reached: every state is named above
}

PrinterList installedPrinters() {
    PrinterList result;
    result.server = printServer();
    auto add = [](const char *name, int state, const char *deviceUri, void *list) {
        auto &printers = *static_cast<PrinterList *>(list);
        printers.names.emplace_back(name);
        printers.queues.push_back({name,
                                   (state & POS_QUEUE_STOPPED)      ? QueueState::Stopped
                                   : (state & POS_QUEUE_PROCESSING) ? QueueState::Processing
                                                                    : QueueState::Idle,
                                   (state & POS_QUEUE_ACCEPTING) != 0, deviceUri});
    };
    if (POS_EnumQueueStates(add, &result) < 0)
        result.error = POS_LastError();
    return result;
}

PrinterSource &systemPrinters() {
    static SystemPrinters printers;
    return printers;
}

QueueStatus queueStatus(const std::string &queue) {
    QueueStatus q;
    q.queue = queue;
    if (const auto problem = posdll::queueNameProblem(queue)) {
        q.error = *problem;
        q.failKind = FailKind::Usage;
        return q;
    }
    std::string message(1024, '\0');
    std::string trouble(1024, '\0');
    const int state =
        POS_QueueState(queue.c_str(), message.data(), static_cast<int>(message.size()),
                       trouble.data(), static_cast<int>(trouble.size()));
    if (state < 0) {
        q.error = POS_LastError();
        q.failKind = POS_LastErrorKind() == POS_ERR_REFUSED ? FailKind::Refused : FailKind::Timeout;
        q.failErrno = POS_LastErrno();
        return q;
    }
    q.exists = state & POS_QUEUE_EXISTS;
    q.accepting = state & POS_QUEUE_ACCEPTING;
    q.stopped = state & POS_QUEUE_STOPPED;
    q.reason = message.c_str();
    q.printerTrouble = trouble.c_str();
    return q;
}

} // namespace device
