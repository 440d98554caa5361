#include "batch/end_handover.h"

#include <utility>

namespace batch {

namespace {
thread_local POS_PendingEnd *t_handedOver = nullptr;
thread_local bool t_handOver = false;
} // namespace

EndsHandedOver::EndsHandedOver(bool handOver) : m_before(std::exchange(t_handOver, handOver)) {}

EndsHandedOver::~EndsHandedOver() {
    t_handOver = m_before;
}

int EndHandedOver::POS_EndDoc() {
    if (!t_handOver)
        return m_lib.POS_EndDoc();
    POS_PendingEnd *pending = nullptr;
    const int r = m_lib.POS_EndDocLater(&pending);
    if (pending)
        t_handedOver = pending;
    return r;
}

int EndHandedOver::POS_Close() {
    return t_handedOver ? 0 : m_lib.POS_Close();
}

std::optional<device::PendingEnd> takeHandedOverEnd() {
    if (POS_PendingEnd *pending = std::exchange(t_handedOver, nullptr))
        return device::PendingEnd(pending);
    return std::nullopt;
}

} // namespace batch
