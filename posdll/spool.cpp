// Print queues through CUPS: one raw job per document, so no filter or driver changes a byte.
// CUPS says "success" three ways (a job id above 0, HTTP_STATUS_CONTINUE while a document is
// streamed, an IPP status up to successful-ok-events-complete); they end here as true or false.
#include "posdll/cups_connection.h"
#include "posdll/cups_queue.h"
#include "posdll/fd.h"
#include "posdll/port_names.h"
#include "posdll/queue_refusal.h"
#include "posdll/quoted.h"
#include "posdll/transport.h"

#include <algorithm>
#include <iterator>
#include <thread>
#include <utility>

namespace posdll {

namespace {

std::string resourceOf(const std::string &queue) {
    return "/printers/" + queue;
}

// A server that gave no answer is a timeout, as when the queue is asked after; one that answered
// refused the request.
ErrorKind kindOf(const cups::Reply &reply) {
    return reply.answer ? POS_ERR_QUEUE : POS_ERR_TIMEOUT;
}

cups::Ipp jobRequest(ipp_op_t op, const std::string &queue, int job) {
    cups::Ipp request = cups::queueRequest(op, queue);
    ippAddInteger(request.get(), IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", job);
    return request;
}

// How often a job being delivered is asked after: each question is one small request to the
// server, and a raw job to a printer that takes it completes within a few tenths of a second.
constexpr milliseconds kJobPollInterval{100};

struct JobState {
    int state = 0;       // an ipp_jstate_t
    std::string message; // job-printer-state-message: what the backend last said
    std::string text() const {
        static const char *const names[] = {"pending",   "held",    "processing", "stopped",
                                            "cancelled", "aborted", "completed"};
        const bool known = state >= IPP_JSTATE_PENDING && state <= IPP_JSTATE_COMPLETED;
        return (known ? std::string(names[state - IPP_JSTATE_PENDING])
                      : "in state " + std::to_string(state)) +
               (message.empty() ? "" : " (" + quoted(message) + ")");
    }
};

// Asks the server where the job is; false with why when the server gave no usable answer.
bool queryJob(http_t *http, const std::string &queue, int job, JobState &state, std::string &why) {
    static const char *const wanted[] = {"job-state", "job-printer-state-message"};
    cups::Ipp request = jobRequest(IPP_OP_GET_JOB_ATTRIBUTES, queue, job);
    ippAddStrings(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                  static_cast<int>(std::size(wanted)), nullptr, wanted);
    const cups::Reply reply = cups::ask(http, std::move(request), "/jobs/");
    ipp_attribute_t *a =
        reply.ok() ? ippFindAttribute(reply.answer.get(), "job-state", IPP_TAG_ENUM) : nullptr;
    if (!a) {
        why = reply.ok() ? "the answer has no job state" : reply.why;
        return false;
    }
    state.state = ippGetInteger(a, 0);
    a = ippFindAttribute(reply.answer.get(), "job-printer-state-message", IPP_TAG_TEXT);
    const char *message = a ? ippGetString(a, 0, nullptr) : nullptr;
    state.message = message ? message : "";
    return true;
}

// Every request goes over the port's own connection, whose waits are bounded: none uses
// libcups' default connection, which waits far longer.
class SpoolPort final : public Transport {
  public:
    SpoolPort(std::string queue, cups::Connection http)
        : m_queue(std::move(queue)), m_server(cups::serverName()), m_http(std::move(http)) {}
    ~SpoolPort() override { cancelUnfinished(); }

    bool startDoc(const std::string &title) override {
        if (m_doc != Doc::None)
            return fail("a document is already started (job " + std::to_string(m_job) + ")");
        std::string why;
        int err = 0;
        if (!m_http && !(m_http = cups::connect(why, &err)))
            return fail(why, POS_ERR_REFUSED, err);
        cups::Ipp create = cups::queueRequest(IPP_OP_CREATE_JOB, m_queue);
        ippAddString(create.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr,
                     title.c_str());
        const cups::Reply created = cups::ask(m_http.get(), std::move(create), resourceOf(m_queue));
        ipp_attribute_t *id =
            created.ok() ? ippFindAttribute(created.answer.get(), "job-id", IPP_TAG_INTEGER)
                         : nullptr;
        if (!id || ippGetInteger(id, 0) <= 0) {
            m_http.reset(); // an answer may still be on its way
            return fail("the job was not created: " +
                            (created.ok() ? std::string("the answer has no job id") : created.why),
                        kindOf(created));
        }
        m_job = ippGetInteger(id, 0);
        cups::Ipp send = jobRequest(IPP_OP_SEND_DOCUMENT, m_queue, m_job);
        ippAddString(send.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "document-name", nullptr,
                     title.c_str());
        ippAddString(send.get(), IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr,
                     CUPS_FORMAT_RAW);
        ippAddBoolean(send.get(), IPP_TAG_OPERATION, "last-document", 1);
        if (!cups::startStream(m_http.get(), send, resourceOf(m_queue), why))
            return failAndCancel("could not take its document: " + why, POS_ERR_TIMEOUT);
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
        if (m_doc == Doc::Broken)
            return failAndCancel("was not sent completely");
        const cups::Reply sent = cups::streamAnswer(m_http.get(), resourceOf(m_queue));
        if (!sent.ok())
            return failAndCancel("was not taken: " + sent.why, kindOf(sent));
        // A queue stopped since the open holds the job until someone starts it again, so the
        // printer gets nothing now: the job is cancelled rather than printed at a later time.
        // Without an answer nobody knows, and the job is cancelled too.
        cups::QueueState state;
        std::string why;
        if (!cups::queryQueue(m_http.get(), m_queue, state, why))
            return failAndCancel("the print server did not say whether the queue runs: " + why,
                                 POS_ERR_TIMEOUT);
        if (state.stopped)
            return failAndCancel(queueRefusalText(QueueRefusal::Stopped, m_queue, state.message));
        const milliseconds wait = deliveryWait();
        if (wait.count() > 0)
            return awaitDelivery(wait);
        m_doc = Doc::None;
        m_job = 0; // handed over: it prints without us
        return true;
    }

    int read(unsigned char *, int, std::chrono::milliseconds) override {
        noBackChannel();
        return -1;
    }

    bool discardInput() override { return noBackChannel(); }

    bool close() override {
        const std::string why = cancelUnfinished();
        m_http.reset();
        if (why.empty())
            return true;
        return fail(why);
    }

  private:
    enum class Doc { None, Streaming, Broken };

    // Follows the job taken until the server completes it. One still waiting at the end of the
    // wait, or when the program cuts the waits short, would print at some later time nobody
    // expects, so it is cancelled.
    bool awaitDelivery(milliseconds wait) {
        const auto started = Clock::now();
        for (;;) {
            JobState job;
            std::string why;
            if (!queryJob(m_http.get(), m_queue, m_job, job, why))
                return failAndCancel("the print server did not say whether it was delivered: " +
                                     why);
            if (job.state == IPP_JSTATE_COMPLETED) {
                m_doc = Doc::None;
                m_job = 0;
                return true;
            }
            if (job.state == IPP_JSTATE_CANCELED || job.state == IPP_JSTATE_ABORTED) {
                const int ended = std::exchange(m_job, 0);
                m_doc = Doc::None;
                return fail("job " + std::to_string(ended) + " was not delivered: the print " +
                            "server ended it, " + job.text());
            }
            const auto deadline = std::min(started + wait, deliveryWaitsEnd());
            const bool cutShort = deadline < started + wait;
            const auto now = Clock::now();
            if (now >= deadline)
                return failUndelivered(
                    job, cutShort ? std::chrono::round<std::chrono::seconds>(now - started) : wait,
                    cutShort);
            std::this_thread::sleep_for(
                std::min<Clock::duration>(kJobPollInterval, deadline - now));
        }
    }

    bool noBackChannel() {
        return fail("a print queue passes nothing back from the printer", POS_ERR_NO_BACK_CHANNEL);
    }

    // A job still pending never reached the printer; one the backend is processing may have: it
    // may have sent every byte and be waiting for the printer to close its side.
    bool failUndelivered(const JobState &job, milliseconds waited, bool cutShort) {
        const bool mayHavePrinted =
            job.state == IPP_JSTATE_PROCESSING || job.state == IPP_JSTATE_STOPPED;
        const std::string within =
            "within " + durationText(waited) + (cutShort ? " (the wait was cut short)" : "");
        const std::string name = "job " + std::to_string(m_job);
        const std::string why = cancelUnfinished();
        const std::string cancelled =
            name + (why.empty() ? " cancelled" : " could not be cancelled (" + why + ")");
        return fail((mayHavePrinted ? "delivery not confirmed " + within + "; " + cancelled +
                                          " (the printer may have printed it)"
                                    : "not delivered " + within + "; " + cancelled) +
                        "; it was " + job.text(),
                    POS_ERR_TIMEOUT);
    }

    bool fail(const std::string &what, ErrorKind kind = POS_ERR_QUEUE, int err = 0) {
        setLastError("print queue " + quoted(m_queue) + " on " + m_server + ": " + what, kind, err);
        return false;
    }

    // Says what went wrong with the job and whether it is cancelled, which it is only when the
    // server confirmed it.
    bool failAndCancel(const std::string &what, ErrorKind kind = POS_ERR_QUEUE) {
        const std::string job = "job " + std::to_string(m_job);
        const std::string why = cancelUnfinished();
        return fail(
            job + (why.empty() ? " is cancelled: " : " could not be cancelled (" + why + "): ") +
                what,
            kind);
    }

    // A job that was created but not handed over is cancelled, so no half document prints.
    // The old connection may be stuck inside a request, so this uses a fresh one.
    // Returns "" when the server confirmed the cancel, else why not.
    std::string cancelUnfinished() {
        if (m_job == 0)
            return "";
        const int job = m_job;
        m_job = 0;
        m_doc = Doc::None;
        m_http.reset();
        std::string why;
        const cups::Connection http = cups::connect(why);
        if (!http)
            return why;
        const cups::Reply cancelled =
            cups::ask(http.get(), jobRequest(IPP_OP_CANCEL_JOB, m_queue, job), resourceOf(m_queue));
        return cancelled.ok() ? "" : cancelled.why;
    }

    std::string m_queue;
    std::string m_server;
    cups::Connection m_http;
    int m_job = 0; // created and not yet handed over
    Doc m_doc = Doc::None;
};

} // namespace

std::unique_ptr<Transport> openSpool(const std::string &queue) {
    if (const auto problem = queueNameProblem(queue)) {
        setLastError("print queue " + quoted(queue) + ": " + *problem, POS_ERR_BAD_ARGUMENT);
        return nullptr;
    }
    const std::string where = "print queue " + quoted(queue) + " on " + cups::serverName();
    std::string why;
    int err = 0;
    cups::Connection http = cups::connect(why, &err);
    if (!http) { // cupsd not running, or its address out of reach within the bound
        setLastError("print queue " + quoted(queue) + ": " + why, POS_ERR_REFUSED, err);
        return nullptr;
    }
    cups::QueueState state;
    if (!cups::queryQueue(http.get(), queue, state, why)) {
        setLastError(where + ": the print server did not answer: " + why, POS_ERR_TIMEOUT);
        return nullptr;
    }
    if (!state.exists) {
        setLastError(where + ": no such queue", POS_ERR_MISSING);
        return nullptr;
    }
    if (state.stopped) {
        setLastError(where + ": " + queueRefusalText(QueueRefusal::Stopped, queue, state.message),
                     POS_ERR_QUEUE);
        return nullptr;
    }
    if (!state.accepting) {
        setLastError(where + ": " +
                         queueRefusalText(QueueRefusal::NotAccepting, queue, state.message),
                     POS_ERR_QUEUE);
        return nullptr;
    }
    return std::make_unique<SpoolPort>(queue, std::move(http));
}

} // namespace posdll
