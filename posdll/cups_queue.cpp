#include "posdll/cups_queue.h"

#include <iterator>
#include <string_view>

namespace posdll::cups {

Ipp queueRequest(ipp_op_t op, const std::string &queue) {
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(),
                     "/printers/%s", queue.c_str());
    Ipp request(ippNewRequest(op));
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                 cupsUser());
    return request;
}

bool queryQueue(http_t *http, const std::string &queue, QueueState &state, std::string &why) {
    static const char *const wanted[] = {"printer-state", "printer-is-accepting-jobs",
                                         "printer-state-message", "printer-state-reasons"};
    Ipp request = queueRequest(IPP_OP_GET_PRINTER_ATTRIBUTES, queue);
    ippAddStrings(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                  static_cast<int>(std::size(wanted)), nullptr, wanted);
    const Reply reply = ask(http, std::move(request), "/");
    if (reply.notFound())
        return true; // state.exists stays false
    if (!reply.ok()) {
        why = reply.why;
        return false;
    }
    ipp_t *answer = reply.answer.get();
    state.exists = true;
    ipp_attribute_t *a = ippFindAttribute(answer, "printer-state", IPP_TAG_ENUM);
    state.stopped = a && ippGetInteger(a, 0) == IPP_PSTATE_STOPPED;
    a = ippFindAttribute(answer, "printer-is-accepting-jobs", IPP_TAG_BOOLEAN);
    state.accepting = a && ippGetBoolean(a, 0);
    a = ippFindAttribute(answer, "printer-state-message", IPP_TAG_TEXT);
    if (a && ippGetString(a, 0, nullptr))
        state.message = ippGetString(a, 0, nullptr);
    a = ippFindAttribute(answer, "printer-state-reasons", IPP_TAG_KEYWORD);
    for (int i = 0; a && i < ippGetCount(a); ++i)
        if (const char *r = ippGetString(a, i, nullptr); r && std::string_view(r) != "none")
            state.reasons.emplace_back(r);
    return true;
}

} // namespace posdll::cups
