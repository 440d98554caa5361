#include "device/printers.h"

#include "posdll/cups_connection.h"
#include "posdll/cups_queue.h"
#include "posdll/port_names.h"
#include "posdll/queue_refusal.h"

#include <iterator>
#include <string_view>
#include <utility>

namespace device {

namespace {

class SystemPrinters final : public PrinterSource {
  public:
    PrinterList list() override { return installedPrinters(); }
};

// The queues of a CUPS-Get-Printers answer: each is a group of printer attributes, the groups
// parted by a separator (an attribute without a name).
std::vector<QueueEntry> queuesOf(ipp_t *answer) {
    std::vector<QueueEntry> queues;
    bool inGroup = false;
    for (ipp_attribute_t *a = ippFirstAttribute(answer); a; a = ippNextAttribute(answer)) {
        const char *name = ippGetName(a);
        if (!name || ippGetGroupTag(a) != IPP_TAG_PRINTER) {
            inGroup = false;
            continue;
        }
        if (!inGroup)
            queues.emplace_back();
        inGroup = true;
        QueueEntry &q = queues.back();
        const std::string_view key = name;
        const char *text = ippGetString(a, 0, nullptr);
        if (key == "printer-name" && text)
            q.name = text;
        else if (key == "device-uri" && text)
            q.deviceUri = text;
        else if (key == "printer-is-accepting-jobs")
            q.accepting = ippGetBoolean(a, 0);
        else if (key == "printer-state")
            q.state = ippGetInteger(a, 0) == IPP_PSTATE_STOPPED      ? QueueState::Stopped
                      : ippGetInteger(a, 0) == IPP_PSTATE_PROCESSING ? QueueState::Processing
                                                                     : QueueState::Idle;
    }
    return queues;
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

// One CUPS-Get-Printers request: the server answers with its queues and classes sorted by name,
// the order `lpstat -e` shows. (cupsGetDests2 would add a second request, and with it a second
// wait on a server that does not answer.)
PrinterList installedPrinters() {
    PrinterList result;
    result.server = posdll::cups::serverName();
    const posdll::cups::Connection http = posdll::cups::connect(result.error);
    if (!http)
        return result;
    static const char *const wanted[] = {"printer-name", "printer-state",
                                         "printer-is-accepting-jobs", "device-uri"};
    posdll::cups::Ipp request(ippNewRequest(IPP_OP_CUPS_GET_PRINTERS));
    ippAddStrings(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                  static_cast<int>(std::size(wanted)), nullptr, wanted);
    const posdll::cups::Reply reply = posdll::cups::ask(http.get(), std::move(request), "/");
    // A server without queues answers "not found".
    if (!reply.ok() && !reply.notFound()) {
        result.error = "the print server " + result.server +
                       " did not answer the request for its printers: " + reply.why;
        return result;
    }
    result.queues = queuesOf(reply.answer.get());
    for (const QueueEntry &q : result.queues)
        result.names.push_back(q.name);
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
    std::string why;
    const posdll::cups::Connection http = posdll::cups::connect(why);
    posdll::cups::QueueState state;
    if (!http || !posdll::cups::queryQueue(http.get(), queue, state, why)) {
        q.error = why;
        q.failKind = http ? FailKind::Timeout : FailKind::Refused;
        return q;
    }
    q.exists = state.exists;
    q.accepting = state.accepting;
    q.stopped = state.stopped;
    q.reason = state.message;
    q.printerTrouble = posdll::printerTrouble(state.reasons, state.message).value_or("");
    return q;
}

} // namespace device
