#include "posdll/cups_connection.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>

namespace posdll::cups {

std::string serverName() {
    const std::string host = cupsServer();
    if (host.empty() || host[0] == '/')
        return host;
    const bool v6 = host.find(':') != std::string::npos && host[0] != '[';
    return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(ippPort());
}

std::string lastReason(http_t *http) {
    if (http && httpError(http) != 0)
        return std::strerror(httpError(http));
    const char *cups = cupsLastErrorString();
    if (cups && *cups && cupsLastError() > IPP_STATUS_OK_EVENTS_COMPLETE)
        return cups;
    return errno ? std::strerror(errno) : "no reason given";
}

Connection connect(std::string &why) {
    errno = 0;
    Connection http(httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                                 kConnectMillis, nullptr));
    if (!http) {
        // libcups reports every failed connect as "Host is down", a refused one too.
        why = "cannot reach the print server " + serverName() +
              " (is cupsd running?): " + lastReason();
        return nullptr;
    }
    httpSetTimeout(http.get(), kAnswerSeconds, nullptr, nullptr);
    return http;
}

} // namespace posdll::cups
