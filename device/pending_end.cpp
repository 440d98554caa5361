#include "device/pending_end.h"

#include "posdll/posdll.h"

namespace device {

namespace {

WriteResult failed(const char *step, Stage stage) {
    return failedStep(step, stage, failKindOfLibraryError(POS_LastErrorKind()), POS_LastError(),
                      POS_LastErrno());
}

} // namespace

PendingEnd::~PendingEnd() {
    if (m_end)
        POS_PendingEndClose(m_end);
}

int PendingEnd::fd() const {
    return POS_PendingEndFd(m_end);
}

std::optional<WriteResult> PendingEnd::look(std::chrono::steady_clock::time_point &next) {
    int waitMillis = 0;
    const int state = POS_PendingEndCheck(m_end, &waitMillis);
    if (state == 0) {
        next = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMillis);
        return std::nullopt;
    }
    // As in writeTransaction, the close runs whatever the end said, and the first failure counts.
    std::optional<WriteResult> r;
    if (state < 0)
        r = failed(kEndStep, Stage::End);
    if (POS_PendingEndClose(std::exchange(m_end, nullptr)) != 0 && !r)
        r = failed(kCloseStep, Stage::Close);
    if (!r)
        r = WriteResult{true, {}};
    return r;
}

} // namespace device
