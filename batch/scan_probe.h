// Asking many hosts at once whether a printer answers there, all from the calling thread:
// non-blocking connects, then the status requests one at a time, each answer awaited within
// its bound, as a status reading does it over the device library.
#pragma once

#include "app/result.h"
#include "device/status_query.h"
#include "posdll/posdll.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <netinet/in.h>
#include <stop_token>
#include <string>

namespace batch {

struct ProbeBounds {
    int inFlight = 1; // exchanges at once
    std::chrono::milliseconds connect{POS_DEFAULT_CONNECT_MILLIS};
    int answerMillis = 2000; // for each status byte
};

// What one host said.
struct Probe {
    std::size_t index = 0;
    bool connected = false;
    std::string reason; // when not connected: "network printer 10.0.0.5:9100: connection refused"
    device::FailKind kind = device::FailKind::Ok; // when not connected
    int error = 0;                                // errno behind it, 0 when none
    device::StatusReading reading;                // when connected
    std::chrono::milliseconds elapsed{0};
};

// The result of a probe, as app::checkStatus gives it for the same host.
app::Result resultOf(const Probe &probe);

// The address of host `index`.
using HostAddress = std::function<sockaddr_in(std::size_t index)>;

// Probes hosts 0 to count - 1, at most bounds.inFlight at once, and hands each probe to onProbe
// in host order. Once `stop` is requested no further host is tried; returns how many were not.
std::size_t probeHosts(std::size_t count, const HostAddress &address, const ProbeBounds &bounds,
                       const std::function<void(const Probe &)> &onProbe,
                       std::stop_token stop = {});

} // namespace batch
