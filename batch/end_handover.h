// The device library as a batch uses it: a network printer's end of document is handed over
// (POS_EndDocLater) instead of waited for, so the thread goes on to the next printer while the
// EndWatch waits for the acknowledgement and the linger.
#pragma once

#include "device/PosdllFuncs.h"
#include "device/pending_end.h"

#include <optional>

namespace batch {

// While one lives on a thread, EndHandedOver hands that thread's network ends over (a watch
// is there to take them); otherwise it ends each document as POS_EndDoc does.
class EndsHandedOver {
  public:
    explicit EndsHandedOver(bool handOver);
    ~EndsHandedOver();
    EndsHandedOver(const EndsHandedOver &) = delete;
    EndsHandedOver &operator=(const EndsHandedOver &) = delete;

  private:
    bool m_before;
};

class EndHandedOver final : public device::ForwardingPosdll {
  public:
    using ForwardingPosdll::ForwardingPosdll;
    int POS_EndDoc() override;
    // After a hand-over there is nothing to close here: the connection closes when its end has
    // settled, and a failure to close is the settled end's.
    int POS_Close() override;
};

// The end this thread handed over since it last asked, if any; the task that ran the document
// takes it once the action returns.
std::optional<device::PendingEnd> takeHandedOverEnd();

} // namespace batch
