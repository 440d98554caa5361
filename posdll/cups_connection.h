// A connection to the print server that libcups is set up for (CUPS_SERVER, client.conf or the
// local default), with every wait bounded, shared by the spool port and the printer list.
#pragma once

#include <cups/cups.h>

#include <chrono>
#include <memory>
#include <string>

namespace posdll::cups {

// The waits for the print server: to connect, and for each answer. $POSDLL_PRINT_SERVER_MILLIS
// (1 to 600000) sets both, for a slow server or a test that makes one fall silent.
inline constexpr std::chrono::milliseconds kConnectWait{3000};
inline constexpr std::chrono::milliseconds kAnswerWait{5000};
inline constexpr const char *kServerWaitVariable = "POSDLL_PRINT_SERVER_MILLIS";
std::chrono::milliseconds connectWait();
std::chrono::milliseconds answerWait();

struct HttpClose {
    void operator()(http_t *http) const { httpClose(http); }
};
using Connection = std::unique_ptr<http_t, HttpClose>;

// "HOST:PORT", or the path of the local socket, of the server libcups talks to.
std::string serverName();

// Connects within connectWait() and bounds each later wait for the server to answerWait().
// (A server that went away makes a write fail with EPIPE; SIGPIPE is held back during every
// libcups call, see cups_lazy.cpp.)
// On failure returns null and sets why: "the print server at S is not running (connection
// refused)", "cannot reach the print server S: reason", or libraryFailure(); and, when err is
// given, the system's error behind it (0 when none).
Connection connect(std::string &why, int *err = nullptr);

// "" once libcups is loaded; else why not (posdll::cupsLoadFailure).
const std::string &libraryFailure();

struct IppDelete {
    void operator()(ipp_t *ipp) const { ippDelete(ipp); }
};
using Ipp = std::unique_ptr<ipp_t, IppDelete>;

// What the server said to one request: its own fresh answer, or nothing. libcups keeps the
// status of an earlier request when an answer does not come, so only the answer itself counts.
struct Reply {
    Ipp answer;      // null when none came
    std::string why; // when !ok(): no answer and why, or the server's refusal in its own words
    bool ok() const;
    bool notFound() const; // the server answered that what was asked about does not exist
};

// Sends the request and waits at most answerWait() for its answer.
Reply ask(http_t *http, Ipp request, const std::string &resource);
// Sends the head of a request whose document follows with cupsWriteRequestData; false with why.
bool startStream(http_t *http, const Ipp &request, const std::string &resource, std::string &why);
// The answer to a streamed request, waited for at most answerWait().
Reply streamAnswer(http_t *http, const std::string &resource);

// The reason for the last failure of libcups on this thread (the socket's error when there is
// one, else CUPS's own text, quoted).
std::string lastReason(http_t *http = nullptr);

} // namespace posdll::cups
