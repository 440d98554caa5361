// The bounds each thread's calls wait, as POS_SetTimeouts and POS_SetDeliveryWait set them.
#include "posdll/transport.h"

namespace posdll {

namespace {

using std::chrono::milliseconds;

constexpr milliseconds kDefaultConnectWait{POS_DEFAULT_CONNECT_MILLIS};
constexpr milliseconds kDefaultWriteWait{POS_DEFAULT_WRITE_MILLIS};

thread_local milliseconds t_connectWait = kDefaultConnectWait;
thread_local milliseconds t_writeWait = kDefaultWriteWait;
thread_local milliseconds t_deliveryWait{0};

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

} // namespace posdll
