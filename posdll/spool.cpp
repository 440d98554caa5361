// Print queues through CUPS: one raw job per document, so no filter or driver changes a byte.
// CUPS says "success" three ways (a job id above 0, HTTP_STATUS_CONTINUE while a document is
// streamed, an IPP status up to successful-ok-events-complete); they end here as true or false.
#include "posdll/cups_connection.h"
#include "posdll/quoted.h"
#include "posdll/transport.h"

#include <iterator>

namespace posdll {

namespace {

bool ippOk(ipp_status_t status) {
    return status <= IPP_STATUS_OK_EVENTS_COMPLETE;
}

// CUPS refuses these in queue names; a name with them would also break the printer URI.
bool validQueueName(const std::string &name) {
    if (name.empty() || name.size() > 127)
        return false;
    for (const unsigned char c : name)
        if (c <= ' ' || c == 0x7F || c == '/' || c == '#' || c == '\\' || c == '\'' || c == '"')
            return false;
    return true;
}

struct QueueState {
    bool exists = false;
    bool stopped = false;
    bool accepting = false;
    std::string message; // printer-state-message, often the reason given to cupsdisable/-reject
    std::string because() const { return message.empty() ? "" : " (" + message + ")"; }
};

std::string stoppedText(const std::string &queue, const QueueState &state) {
    return "the queue is stopped" + state.because() + "; cupsenable " + queue + " starts it";
}

// Asks the server about the queue; false with why when the server gave no usable answer.
bool queryQueue(http_t *http, const std::string &queue, QueueState &state, std::string &why) {
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(),
                     "/printers/%s", queue.c_str());
    static const char *const wanted[] = {"printer-state", "printer-is-accepting-jobs",
                                         "printer-state-message"};
    ipp_t *request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                  static_cast<int>(std::size(wanted)), nullptr, wanted);
    ipp_t *response = cupsDoRequest(http, request, "/"); // takes the request
    const ipp_status_t status = cupsLastError();
    if (status == IPP_STATUS_ERROR_NOT_FOUND) {
        ippDelete(response);
        return true; // state.exists stays false
    }
    if (!response || !ippOk(status)) {
        why = cups::lastReason(http);
        ippDelete(response);
        return false;
    }
    state.exists = true;
    ipp_attribute_t *a = ippFindAttribute(response, "printer-state", IPP_TAG_ENUM);
    state.stopped = a && ippGetInteger(a, 0) == IPP_PSTATE_STOPPED;
    a = ippFindAttribute(response, "printer-is-accepting-jobs", IPP_TAG_BOOLEAN);
    state.accepting = a && ippGetBoolean(a, 0);
    a = ippFindAttribute(response, "printer-state-message", IPP_TAG_TEXT);
    if (a && ippGetString(a, 0, nullptr))
        state.message = ippGetString(a, 0, nullptr);
    ippDelete(response);
    return true;
}

class SpoolPort final : public Transport {
  public:
    SpoolPort(std::string queue, cups::Connection http)
        : m_queue(std::move(queue)), m_server(cups::serverName()), m_http(std::move(http)) {}
    ~SpoolPort() override { cancelUnfinished(); }

    bool startDoc(const std::string &title) override {
        if (m_doc != Doc::None)
            return fail("a document is already started (job " + std::to_string(m_job) + ")");
        std::string why;
        if (!m_http && !(m_http = cups::connect(why)))
            return fail(why);
        const int job = cupsCreateJob(m_http.get(), m_queue.c_str(), title.c_str(), 0, nullptr);
        if (job <= 0)
            return fail("the job was not created: " + cups::lastReason(m_http.get()));
        m_job = job;
        if (cupsStartDocument(m_http.get(), m_queue.c_str(), job, title.c_str(), CUPS_FORMAT_RAW,
                              1) != HTTP_STATUS_CONTINUE) {
            why = cups::lastReason(m_http.get());
            cancelUnfinished();
            return fail("job " + std::to_string(job) + " could not take its document: " + why);
        }
        m_doc = Doc::Streaming;
        return true;
    }

    int write(const unsigned char *bytes, int count) override {
        if (m_doc != Doc::Streaming) {
            fail(m_doc == Doc::None ? "no document is started"
                                    : "job " + std::to_string(m_job) + " was already broken off");
            return -1;
        }
        if (cupsWriteRequestData(m_http.get(), reinterpret_cast<const char *>(bytes),
                                 static_cast<size_t>(count)) != HTTP_STATUS_CONTINUE) {
            m_doc = Doc::Broken;
            fail("job " + std::to_string(m_job) +
                 ": sending failed: " + cups::lastReason(m_http.get()));
            return -1;
        }
        return count;
    }

    bool endDoc() override {
        if (m_doc == Doc::None)
            return fail("no document is started");
        const std::string job = "job " + std::to_string(m_job);
        if (m_doc == Doc::Broken) {
            cancelUnfinished();
            return fail(job + " was not sent completely and is cancelled");
        }
        const ipp_status_t status = cupsFinishDocument(m_http.get(), m_queue.c_str());
        if (!ippOk(status)) {
            const std::string why = cups::lastReason(m_http.get());
            cancelUnfinished();
            return fail(job + " could not be finished: " + why);
        }
        // A queue stopped since the open holds the job until someone starts it again, so the
        // printer gets nothing now: the job is cancelled rather than printed at a later time.
        QueueState state;
        std::string why;
        if (queryQueue(m_http.get(), m_queue, state, why) && state.stopped) {
            const std::string stopped = stoppedText(m_queue, state);
            const bool cancelled = cancelUnfinished();
            return fail(job + (cancelled ? " is cancelled: " : " could not be cancelled: ") +
                        stopped);
        }
        m_doc = Doc::None;
        m_job = 0; // handed over: it prints without us
        return true;
    }

    bool close() override {
        const bool cancelled = cancelUnfinished();
        m_http.reset();
        return cancelled;
    }

  private:
    enum class Doc { None, Streaming, Broken };

    bool fail(const std::string &what) {
        setLastError("print queue " + quoted(m_queue) + " on " + m_server + ": " + what);
        return false;
    }

    // A job that was created but not handed over is cancelled, so no half document prints.
    // The old connection may be stuck inside a request, so this uses a fresh one.
    bool cancelUnfinished() {
        if (m_job == 0)
            return true;
        const int job = m_job;
        m_job = 0;
        m_doc = Doc::None;
        m_http.reset();
        std::string why;
        cups::Connection http = cups::connect(why);
        if (http && ippOk(cupsCancelJob2(http.get(), m_queue.c_str(), job, 0)))
            return true;
        return fail("unfinished job " + std::to_string(job) +
                    " could not be cancelled: " + (http ? cups::lastReason(http.get()) : why));
    }

    std::string m_queue;
    std::string m_server;
    cups::Connection m_http;
    int m_job = 0; // created and not yet handed over
    Doc m_doc = Doc::None;
};

} // namespace

std::unique_ptr<Transport> openSpool(const std::string &queue) {
    if (!validQueueName(queue)) {
        setLastError("print queue " + quoted(queue) +
                     ": not a queue name (1 to 127 printable characters without space, /, #, "
                     "\\ or quotes)");
        return nullptr;
    }
    const std::string where = "print queue " + quoted(queue) + " on " + cups::serverName();
    std::string why;
    cups::Connection http = cups::connect(why);
    if (!http) {
        setLastError("print queue " + quoted(queue) + ": " + why);
        return nullptr;
    }
    QueueState state;
    if (!queryQueue(http.get(), queue, state, why)) {
        setLastError(where + ": the print server did not answer: " + why);
        return nullptr;
    }
    if (!state.exists) {
        setLastError(where + ": no such queue");
        return nullptr;
    }
    if (state.stopped) {
        setLastError(where + ": " + stoppedText(queue, state));
        return nullptr;
    }
    if (!state.accepting) {
        setLastError(where + ": the queue does not accept jobs" + state.because() +
                     "; cupsaccept " + queue + " opens it");
        return nullptr;
    }
    return std::make_unique<SpoolPort>(queue, std::move(http));
}

} // namespace posdll
