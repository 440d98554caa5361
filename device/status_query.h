// Asking a printer for its real-time status: DLE EOT 1 to 4, one byte each.
#pragma once

#include "device/PosdllFuncs.h"
#include "device/failure.h"
#include "protocol/status_summary.h"

#include <array>
#include <cstdint>
#include <string>

namespace device {

struct StatusReading {
    bool answered = false; // all four bytes came and each is a status byte
    std::array<std::uint8_t, 4> bytes{};
    protocol::StatusSummary summary; // when answered
    FailKind kind = FailKind::Ok;    // why not, when not answered
    int error = 0;                   // errno behind the failure, 0 when none
    std::string reason;
};

// Why a port that passes nothing back gives no reading.
inline constexpr const char *kCannotReportStatus = "this port cannot report the printer's status";

// The most bytes of one answer that are read and named.
inline constexpr int kMostAnswerBytes = 16;

// One reading as bytes, whatever carries them: the requests one at a time, each answer judged
// as it comes, and the reasons a reading fails for.
class StatusExchange {
  public:
    // The request to send now (until over()).
    std::array<std::uint8_t, 3> request() const;
    // What came after the request was sent (count >= 1). What a printer with automatic status on
    // sends unasked (status blocks, XON, XOFF) is passed over: false when that was all, so the
    // answer is still to come. Bytes behind the one answer, or a byte that is no status byte,
    // end the reading (Internal), so no condition is read from a byte that did not answer its
    // request.
    bool answer(const std::uint8_t *bytes, std::size_t count);
    // error: the system's error behind the failure, 0 when none.
    void sendFailed(FailKind kind, const std::string &why, int error);
    void readFailed(FailKind kind, const std::string &why, int error);
    void noAnswerWithin(int waitMillis);
    // Every answer came, or the reading failed.
    bool over() const { return m_over; }
    const StatusReading &reading() const { return m_reading; }

  private:
    void fail(FailKind kind, std::string reason, int error = 0);
    std::string asked() const; // "DLE EOT 1 (printer status)"

    StatusReading m_reading;
    std::size_t m_next = 0;
    std::size_t m_blockLeft = 0; // bytes of an automatic status block still to pass over
    bool m_over = false;
};

// Throws away unread input, then sends each request and waits at most waitMillis for its answer,
// judged as StatusExchange does. A port that passes nothing back fails before anything is sent
// (CannotVerify). Leaves the port open.
StatusReading readStatus(PosdllFuncs &lib, int handle, int waitMillis);

} // namespace device
