// A network printer's end of document handed over by POS_EndDocLater, for a caller that watches
// many of them on one thread.
#pragma once

#include "device/port_access.h"

#include <chrono>
#include <optional>
#include <utility>

namespace device {

class PendingEnd {
  public:
    // Takes `end` over: its connection is closed with this.
    explicit PendingEnd(POS_PendingEnd *end) : m_end(end) {}
    PendingEnd(PendingEnd &&other) noexcept : m_end(std::exchange(other.m_end, nullptr)) {}
    PendingEnd &operator=(PendingEnd &&other) noexcept {
        std::swap(m_end, other.m_end); // ours closes with other
        return *this;
    }
    PendingEnd(const PendingEnd &) = delete;
    ~PendingEnd();

    // The connection, to watch edge-triggered for input.
    int fd() const;

    // Looks at the end now: nothing while it is pending (`next` tells when to look again unless
    // input comes); else the connection is closed and the result is what writeTransaction
    // would have said of its end and close.
    std::optional<WriteResult> look(std::chrono::steady_clock::time_point &next);

  private:
    POS_PendingEnd *m_end;
};

} // namespace device
