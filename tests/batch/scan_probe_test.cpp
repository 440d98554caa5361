// The scan's prober, against real peers on loopback: what it reads from each host is what a
// status reading over the device library reads, in host order, at most inFlight at once.
#include "batch/scan_probe.h"

#include "app/actions.h"
#include "support/loopback_printers.h"

#include <gtest/gtest.h>

using namespace testing_support;
using namespace std::chrono_literals;

namespace {

sockaddr_in loopbackPort(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    return a;
}

} // namespace

TEST(scan_probe_test, each_host_reads_as_a_status_reading_does_in_host_order) {
    LoopbackPrinters ready("\x12\x12\x12\x12");
    LoopbackPrinters paperOut("\x1A\x32\x12\x7E");
    LoopbackPrinters silent("");
    LoopbackPrinters webServer("HTTP");
    LoopbackPrinters twoThenQuiet("\x12\x12");
    ClosedPort refused;
    const std::vector<int> ports{ready.port(), paperOut.port(),  silent.port(),
                                 refused.port, webServer.port(), twoThenQuiet.port()};

    std::vector<batch::Probe> probes;
    const batch::ProbeBounds bounds{.inFlight = 3, .connect = 1s, .answerMillis = 200};
    const std::size_t notTried = batch::probeHosts(
        ports.size(), [&](std::size_t i) { return loopbackPort(ports[i]); }, bounds,
        [&](const batch::Probe &p) { probes.push_back(p); });
    EXPECT_EQ(notTried, 0u);
    ASSERT_EQ(probes.size(), ports.size());

    for (std::size_t i = 0; i < ports.size(); ++i) {
        SCOPED_TRACE("port " + std::to_string(ports[i]));
        app::ActionInputs in;
        in.port.portName = "ETHERNET";
        in.port.ipText = "127.0.0.1:" + std::to_string(ports[i]);
        in.statusWaitMillis = bounds.answerMillis;
        const app::Result viaLibrary = app::checkStatus(in, device::libraryPosdll());
        const batch::Probe &p = probes[i];
        EXPECT_EQ(p.index, i);
        const app::Result probed = batch::resultOf(p);
        EXPECT_EQ(probed.reason, viaLibrary.reason);
        EXPECT_EQ(probed.kind, viaLibrary.kind);
        EXPECT_EQ(probed.stage, viaLibrary.stage);
        ASSERT_EQ(probed.status.has_value(), viaLibrary.status.has_value());
        if (probed.status) {
            EXPECT_EQ(probed.status->bytes, viaLibrary.status->bytes);
        }
    }
    EXPECT_TRUE(probes[0].reading.answered && probes[0].reading.summary.ready);
    EXPECT_TRUE(probes[1].reading.answered && !probes[1].reading.summary.ready);
    EXPECT_FALSE(probes[3].connected);
}

TEST(scan_probe_test, no_more_than_in_flight_hosts_at_once_and_a_stop_tries_no_more) {
    LoopbackPrinters silent("");
    const batch::ProbeBounds bounds{.inFlight = 4, .connect = 1s, .answerMillis = 50};
    std::size_t seen = 0;
    EXPECT_EQ(batch::probeHosts(
                  12, [&](std::size_t) { return loopbackPort(silent.port()); }, bounds,
                  [&](const batch::Probe &p) { EXPECT_EQ(p.index, seen++); }),
              0u);
    EXPECT_EQ(seen, 12u);
    EXPECT_EQ(silent.mostAtOnce(), 4);

    std::stop_source stop;
    seen = 0;
    const std::size_t notTried = batch::probeHosts(
        12, [&](std::size_t) { return loopbackPort(silent.port()); }, bounds,
        [&](const batch::Probe &) {
            ++seen;
            stop.request_stop();
        },
        stop.get_token());
    EXPECT_EQ(notTried, 12u - seen);
    EXPECT_LE(seen, 8u) << "the hosts in flight finish, none starts after the stop";
}
