// The end of a document on a network connection: the rules that decide when the printer has
// taken every byte, shared by the blocking POS_EndDoc and by a caller that watches many ends on
// one thread (POS_PendingEndCheck).
#pragma once

#include "posdll/connection_reasons.h"
#include "posdll/fd.h"

#include <string>

namespace posdll {

// Bytes sent on the connection but not yet acknowledged by the printer's side (`sent` when the
// system cannot say).
long long unacknowledged(int fd, long long sent);

// Reads and drops what the printer sent: 0 at its end of stream, -1 with errno, else > 0.
int drainInput(int fd);

// Releases a connection whose document is over; unread input would make the close reset it.
// False after recording the reason under `label`.
bool closeConnection(Fd &fd, const std::string &label);

// Watches one connection whose sending side is shut: the document ends well once the printer
// has acknowledged every byte and then closed its side or kept quiet for the linger time; it
// fails when the printer resets the connection or acknowledges nothing for the stall limit.
class DocumentEnd {
  public:
    enum class State { Waiting, Ended, Failed };

    DocumentEnd(int fd, std::string label, long long sent, milliseconds stallLimit);

    // Looks at the connection now; Failed records the reason (setLastError).
    State look();
    // When to look again if no input comes first.
    Clock::time_point nextLook() const;
    // Whether input from the printer still matters (its end of stream has not come).
    bool wantsInput() const { return !m_peerClosed; }
    const std::string &label() const { return m_label; }

  private:
    State fail(const std::string &reason, int kind, int err = 0) const;
    std::string sentText() const;

    int m_fd;
    std::string m_label;
    long long m_sent;
    milliseconds m_stallLimit;
    Clock::time_point m_stallEnd;
    long long m_waiting;
    Clock::time_point m_lingerEnd{};
    bool m_acked = false;
    bool m_peerClosed = false;
};

} // namespace posdll

// A document whose end its caller watches (posdll.h): the connection and the rules.
struct POS_PendingEnd {
    posdll::Fd fd;
    posdll::DocumentEnd end;
};
