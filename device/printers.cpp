#include "device/printers.h"

#include "posdll/cups_connection.h"
#include "posdll/cups_queue.h"
#include "posdll/port_names.h"
#include "posdll/queue_refusal.h"

#include <utility>

namespace device {

namespace {

class SystemPrinters final : public PrinterSource {
  public:
    PrinterList list() override { return installedPrinters(); }
};

} // namespace

// One CUPS-Get-Printers request: the server answers with its queues and classes sorted by name,
// the order `lpstat -e` shows. (cupsGetDests2 would add a second request, and with it a second
// wait on a server that does not answer.)
PrinterList installedPrinters() {
    PrinterList result;
    result.server = posdll::cups::serverName();
    const posdll::cups::Connection http = posdll::cups::connect(result.error);
    if (!http)
        return result;
    posdll::cups::Ipp request(ippNewRequest(IPP_OP_CUPS_GET_PRINTERS));
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
                 "printer-name");
    const posdll::cups::Reply reply = posdll::cups::ask(http.get(), std::move(request), "/");
    // A server without queues answers "not found".
    if (!reply.ok() && !reply.notFound()) {
        result.error = "the print server " + result.server +
                       " did not answer the request for its printers: " + reply.why;
        return result;
    }
    ipp_t *response = reply.answer.get();
    for (ipp_attribute_t *a = ippFindAttribute(response, "printer-name", IPP_TAG_NAME); a;
         a = ippFindNextAttribute(response, "printer-name", IPP_TAG_NAME))
        result.names.emplace_back(ippGetString(a, 0, nullptr));
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
