#include "posdll/cups_connection.h"

#include <cerrno>
#include <cstring>
#include <pthread.h>
#include <sys/socket.h>

namespace posdll::cups {

namespace {

sigset_t onlySigpipe() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    return set;
}

bool sigpipePending() {
    sigset_t pending;
    sigemptyset(&pending);
    return sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
}

} // namespace

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
        why = "cannot reach the print server " + serverName() + ": " + lastReason();
        return nullptr;
    }
    httpSetTimeout(http.get(), kAnswerSeconds, nullptr, nullptr);
    return http;
}

SigpipeGuard::SigpipeGuard() : m_wasPending(sigpipePending()) {
    const sigset_t pipe = onlySigpipe();
    pthread_sigmask(SIG_BLOCK, &pipe, &m_saved);
}

SigpipeGuard::~SigpipeGuard() {
    if (!m_wasPending && sigpipePending()) {
        const sigset_t pipe = onlySigpipe();
        const timespec now{0, 0};
        sigtimedwait(&pipe, nullptr, &now);
    }
    pthread_sigmask(SIG_SETMASK, &m_saved, nullptr);
}

} // namespace posdll::cups
