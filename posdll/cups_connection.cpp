#include "posdll/cups_connection.h"

#include "posdll/fd.h"
#include "posdll/millis_setting.h"
#include "posdll/quoted.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <netdb.h>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

namespace posdll::cups {

std::string serverName() {
    const std::string host = cupsServer();
    if (host.empty() || host[0] == '/')
        return host;
    const bool v6 = host.find(':') != std::string::npos && host[0] != '[';
    return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(ippPort());
}

namespace {

using Clock = std::chrono::steady_clock;

// "connection refused": the system's words inside a sentence.
std::string lowerFirst(std::string text) {
    if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z')
        text[0] = static_cast<char>(text[0] - 'A' + 'a');
    return text;
}
constexpr std::size_t kServerTextChars = 200;

std::chrono::milliseconds setOr(std::chrono::milliseconds fallback) {
    return millisSetting(std::getenv(kServerWaitVariable), 1, fallback);
}

} // namespace

std::chrono::milliseconds connectWait() {
    return setOr(kConnectWait);
}

std::chrono::milliseconds answerWait() {
    return setOr(kAnswerWait);
}

namespace {

// The socket's error, else a failure libcups recorded (an HTTP refusal such as 403) in the
// server's words; nothing when neither says anything.
std::optional<std::string> recordedReason(http_t *http) {
    if (http && httpError(http) != 0)
        return std::strerror(httpError(http));
    const char *cups = cupsLastErrorString();
    if (cups && *cups && cupsLastError() > IPP_STATUS_OK_EVENTS_COMPLETE)
        return quoted(cups, kServerTextChars);
    return std::nullopt;
}

// Why a request got no answer: the time limit, else what the socket or libcups recorded.
std::string noAnswer(http_t *http, Clock::time_point since) {
    const int error = httpError(http);
    const std::chrono::milliseconds bound = answerWait();
    if (error == ETIMEDOUT || (error == 0 && Clock::now() - since >= bound))
        return "no answer within " + durationText(bound);
    return recordedReason(http).value_or("the connection closed without an answer");
}

Reply reply(ipp_t *answer, http_t *http, Clock::time_point since) {
    Reply r{Ipp(answer), {}};
    if (!r.answer) {
        r.why = noAnswer(http, since);
    } else if (!r.ok()) {
        ipp_attribute_t *text = ippFindAttribute(answer, "status-message", IPP_TAG_TEXT);
        const char *message = text ? ippGetString(text, 0, nullptr) : nullptr;
        r.why = message ? quoted(message, kServerTextChars)
                        : "refused with status " + std::to_string(ippGetStatusCode(answer));
    }
    return r;
}

} // namespace

std::string lastReason(http_t *http) {
    if (auto why = recordedReason(http))
        return *why;
    return errno ? std::strerror(errno) : "no reason given";
}

bool Reply::ok() const {
    return answer && ippGetStatusCode(answer.get()) <= IPP_STATUS_OK_EVENTS_COMPLETE;
}

bool Reply::notFound() const {
    return answer && ippGetStatusCode(answer.get()) == IPP_STATUS_ERROR_NOT_FOUND;
}

Reply ask(http_t *http, Ipp request, const std::string &resource) {
    const auto since = Clock::now();
    return reply(cupsDoRequest(http, request.release(), resource.c_str()), http, since);
}

bool startStream(http_t *http, const Ipp &request, const std::string &resource, std::string &why) {
    const auto since = Clock::now();
    if (cupsSendRequest(http, request.get(), resource.c_str(), CUPS_LENGTH_VARIABLE) ==
        HTTP_STATUS_CONTINUE)
        return true;
    why = noAnswer(http, since);
    return false;
}

Reply streamAnswer(http_t *http, const std::string &resource) {
    const auto since = Clock::now();
    return reply(cupsGetResponse(http, resource.c_str()), http, since);
}

namespace {

// One connection attempt to an address of the server, bounded as libcups's: 0 or an errno.
int connectError(const sockaddr *address, socklen_t length) {
    const Fd fd(::socket(address->sa_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd)
        return errno;
    if (::connect(fd.get(), address, length) == 0)
        return 0;
    if (errno != EINPROGRESS)
        return errno;
    const int ready = pollUntil(fd.get(), POLLOUT, Clock::now() + connectWait());
    return ready > 0 ? socketError(fd.get()) : ready == 0 ? ETIMEDOUT : errno;
}

// libcups says "Host is down" for every connect that fails, a refused one too: the connect is
// tried once more to learn the system's reason (0 when it now succeeds, or none is known).
int serverConnectError() {
    const std::string host = cupsServer();
    if (!host.empty() && host[0] == '/') {
        sockaddr_un local{};
        local.sun_family = AF_UNIX;
        if (host.size() >= sizeof local.sun_path)
            return ENAMETOOLONG;
        host.copy(local.sun_path, host.size());
        return connectError(reinterpret_cast<const sockaddr *>(&local), sizeof local);
    }
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo *list = nullptr;
    if (host.empty() ||
        ::getaddrinfo(host.c_str(), std::to_string(ippPort()).c_str(), &hints, &list) != 0)
        return 0;
    int error = 0;
    for (const addrinfo *a = list; a && (error = connectError(a->ai_addr, a->ai_addrlen));)
        a = a->ai_next;
    ::freeaddrinfo(list);
    return error;
}

} // namespace

Connection connect(std::string &why, int *err) {
    errno = 0;
    Connection http(httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                                 static_cast<int>(connectWait().count()), nullptr));
    if (!http) {
        const std::string &missing = libraryFailure();
        const int error = missing.empty() ? serverConnectError() : 0;
        if (err)
            *err = error;
        if (!missing.empty())
            why = missing;
        else if (error == ECONNREFUSED || error == ENOENT)
            why = "the print server at " + serverName() + " is not running (" +
                  lowerFirst(errnoText(error)) + ")";
        else
            why = "cannot reach the print server " + serverName() + ": " +
                  (error ? errnoText(error) : lastReason());
        return nullptr;
    }
    httpSetTimeout(http.get(), std::chrono::duration<double>(answerWait()).count(), nullptr,
                   nullptr);
    return http;
}

} // namespace posdll::cups
