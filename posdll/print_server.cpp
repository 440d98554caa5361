// The print server's queues and their states, for the printer list and a queue's status.
#include "posdll/cups_connection.h"
#include "posdll/cups_queue.h"
#include "posdll/guarded.h"
#include "posdll/queue_refusal.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace posdll {

namespace {

// Copies text into a caller's buffer of size bytes, cut and NUL-ended; returns its whole length.
int copyOut(const std::string &text, char *buffer, int size) {
    if (buffer && size > 0) {
        const std::size_t n = std::min(text.size(), static_cast<std::size_t>(size - 1));
        std::memcpy(buffer, text.data(), n);
        buffer[n] = '\0';
    }
    return static_cast<int>(text.size());
}

int failed(std::string reason, ErrorKind kind) {
    setLastError(std::move(reason), kind);
    return -1;
}

} // namespace

} // namespace posdll

using namespace posdll;

extern "C" int POS_PrintServer(char *buffer, int size) {
    return guarded([&] { return copyOut(cups::serverName(), buffer, size); });
}

// One CUPS-Get-Printers request: the server answers with its queues and classes sorted by name,
// the order `lpstat -e` shows. (cupsGetDests2 would add a second request, and with it a second
// wait on a server that does not answer.)
extern "C" int POS_EnumQueues(void (*each)(const char *name, void *context), void *context) {
    return guarded([&] {
        if (!each)
            return failed("no function given for the queues", POS_ERR_BAD_ARGUMENT);
        std::string why;
        const cups::Connection http = cups::connect(why);
        if (!http)
            return failed(why, POS_ERR_REFUSED);
        cups::Ipp request(ippNewRequest(IPP_OP_CUPS_GET_PRINTERS));
        ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                     nullptr, "printer-name");
        const cups::Reply reply = cups::ask(http.get(), std::move(request), "/");
        // A server without queues answers "not found".
        if (!reply.ok() && !reply.notFound())
            return failed("the print server " + cups::serverName() +
                              " did not answer the request for its printers: " + reply.why,
                          POS_ERR_TIMEOUT);
        int count = 0;
        ipp_t *response = reply.answer.get();
        for (ipp_attribute_t *a = ippFindAttribute(response, "printer-name", IPP_TAG_NAME); a;
             a = ippFindNextAttribute(response, "printer-name", IPP_TAG_NAME), ++count)
            each(ippGetString(a, 0, nullptr), context);
        setLastError({});
        return count;
    });
}

extern "C" int POS_QueueState(const char *queue, char *message, int size, char *trouble,
                              int troubleSize) {
    return guarded([&] {
        if (!queue)
            return failed("no queue name given", POS_ERR_BAD_ARGUMENT);
        std::string why;
        const cups::Connection http = cups::connect(why);
        cups::QueueState state;
        if (!http || !cups::queryQueue(http.get(), queue, state, why))
            return failed(why, http ? POS_ERR_TIMEOUT : POS_ERR_REFUSED);
        copyOut(state.message, message, size);
        copyOut(printerTrouble(state.reasons, state.message).value_or(""), trouble, troubleSize);
        setLastError({});
        if (!state.exists)
            return 0;
        return POS_QUEUE_EXISTS | (state.accepting ? POS_QUEUE_ACCEPTING : 0) |
               (state.stopped ? POS_QUEUE_STOPPED : 0);
    });
}
