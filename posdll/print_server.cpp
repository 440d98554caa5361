// The print server's queues and their states, for the printer list and a queue's status.
#include "posdll/cups_connection.h"
#include "posdll/cups_queue.h"
#include "posdll/guarded.h"
#include "posdll/queue_refusal.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string_view>
#include <utility>
#include <vector>

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

int failed(std::string reason, ErrorKind kind, int err = 0) {
    setLastError(std::move(reason), kind, err);
    return -1;
}

} // namespace

} // namespace posdll

using namespace posdll;

extern "C" int POS_PrintServer(char *buffer, int size) {
    return guarded([&] { return copyOut(cups::serverName(), buffer, size); });
}

namespace {

struct QueueRow {
    std::string name;
    int state = 0; // POS_QUEUE_ flags
    std::string deviceUri;
};

// The queues of a CUPS-Get-Printers answer: each is a group of printer attributes, the groups
// parted by a separator (an attribute without a name).
std::vector<QueueRow> queuesOf(ipp_t *answer) {
    std::vector<QueueRow> queues;
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
        QueueRow &q = queues.back();
        const std::string_view key = name;
        const char *text = ippGetString(a, 0, nullptr);
        if (key == "printer-name" && text)
            q.name = text;
        else if (key == "device-uri" && text)
            q.deviceUri = text;
        else if (key == "printer-is-accepting-jobs" && ippGetBoolean(a, 0))
            q.state |= POS_QUEUE_ACCEPTING;
        else if (key == "printer-state" && ippGetInteger(a, 0) == IPP_PSTATE_STOPPED)
            q.state |= POS_QUEUE_STOPPED;
        else if (key == "printer-state" && ippGetInteger(a, 0) == IPP_PSTATE_PROCESSING)
            q.state |= POS_QUEUE_PROCESSING;
    }
    return queues;
}

} // namespace

// One CUPS-Get-Printers request: the server answers with its queues and classes sorted by name,
// the order `lpstat -e` shows. (cupsGetDests2 would add a second request, and with it a second
// wait on a server that does not answer.)
extern "C" int POS_EnumQueueStates(void (*each)(const char *name, int state, const char *deviceUri,
                                                void *context),
                                   void *context) {
    return guarded([&] {
        if (!each)
            return failed("no function given for the queues", POS_ERR_BAD_ARGUMENT);
        std::string why;
        int err = 0;
        const cups::Connection http = cups::connect(why, &err);
        if (!http)
            return failed(why, POS_ERR_REFUSED, err);
        static const char *const wanted[] = {"printer-name", "printer-state",
                                             "printer-is-accepting-jobs", "device-uri"};
        cups::Ipp request(ippNewRequest(IPP_OP_CUPS_GET_PRINTERS));
        ippAddStrings(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                      static_cast<int>(std::size(wanted)), nullptr, wanted);
        const cups::Reply reply = cups::ask(http.get(), std::move(request), "/");
        // A server without queues answers "not found".
        if (!reply.ok() && !reply.notFound())
            return failed("the print server " + cups::serverName() +
                              " did not answer the request for its printers: " + reply.why,
                          POS_ERR_TIMEOUT);
        const std::vector<QueueRow> queues = queuesOf(reply.answer.get());
        for (const QueueRow &q : queues)
            each(q.name.c_str(), q.state, q.deviceUri.c_str(), context);
        setLastError({});
        return static_cast<int>(queues.size());
    });
}

extern "C" int POS_EnumQueues(void (*each)(const char *name, void *context), void *context) {
    struct Names {
        void (*each)(const char *, void *);
        void *context;
    } names{each, context};
    auto name = [](const char *queue, int, const char *, void *p) {
        const auto *n = static_cast<Names *>(p);
        n->each(queue, n->context);
    };
    return POS_EnumQueueStates(each ? +name : nullptr, &names);
}

extern "C" int POS_QueueState(const char *queue, char *message, int size, char *trouble,
                              int troubleSize) {
    return guarded([&] {
        if (!queue)
            return failed("no queue name given", POS_ERR_BAD_ARGUMENT);
        std::string why;
        int err = 0;
        const cups::Connection http = cups::connect(why, &err);
        cups::QueueState state;
        if (!http || !cups::queryQueue(http.get(), queue, state, why))
            return failed(why, http ? POS_ERR_TIMEOUT : POS_ERR_REFUSED, err);
        copyOut(state.message, message, size);
        copyOut(printerTrouble(state.reasons, state.message).value_or(""), trouble, troubleSize);
        setLastError({});
        if (!state.exists)
            return 0;
        return POS_QUEUE_EXISTS | (state.accepting ? POS_QUEUE_ACCEPTING : 0) |
               (state.stopped ? POS_QUEUE_STOPPED : 0);
    });
}
