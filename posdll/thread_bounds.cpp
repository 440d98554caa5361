// The bounds each thread's calls wait, as POS_SetTimeouts and POS_SetDeliveryWait set them,
// and the end of every delivery wait that POS_CutDeliveryWaits sets for the whole process.
#include "posdll/transport.h"

#include <atomic>

namespace posdll {

namespace {

using std::chrono::milliseconds;

constexpr milliseconds kDefaultConnectWait{POS_DEFAULT_CONNECT_MILLIS};
constexpr milliseconds kDefaultWriteWait{POS_DEFAULT_WRITE_MILLIS};

thread_local milliseconds t_connectWait = kDefaultConnectWait;
thread_local milliseconds t_writeWait = kDefaultWriteWait;
thread_local milliseconds t_deliveryWait{0};

using Clock = std::chrono::steady_clock;
std::atomic<Clock::rep> g_deliveryWaitsEnd{Clock::time_point::max().time_since_epoch().count()};

} // namespace

void setWaits(int connectMillis, int writeMillis) {
    t_connectWait = connectMillis > 0 ? milliseconds(connectMillis) : kDefaultConnectWait;
    t_writeWait = writeMillis > 0 ? milliseconds(writeMillis) : kDefaultWriteWait;
}

milliseconds connectWait() {
    return t_connectWait;
}

milliseconds writeWait() {
    return t_writeWait;
}

void setDeliveryWait(milliseconds wait) {
    t_deliveryWait = wait;
}

milliseconds deliveryWait() {
    return t_deliveryWait;
}

void cutDeliveryWaits(milliseconds fromNow) {
    const Clock::rep end = (Clock::now() + fromNow).time_since_epoch().count();
    Clock::rep was = g_deliveryWaitsEnd.load();
    while (end < was && !g_deliveryWaitsEnd.compare_exchange_weak(was, end)) {
    }
}

Clock::time_point deliveryWaitsEnd() {
    return Clock::time_point(Clock::duration(g_deliveryWaitsEnd.load()));
}

} // namespace posdll
