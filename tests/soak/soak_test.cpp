// Soak: thousands of setting actions in one process, through the real device library, to
// posdip-emulator over a pseudo-terminal and over the network. Every frame must come back
// decoded, and the open descriptors and the resident memory must not grow once warmed up.
#include "emulator/emulator_process.h"

#include "app/actions.h"
#include "app/message.h"
#include "device/PosdllFuncs.h"
#include "protocol/frame_decode.h"

#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <vector>

using namespace testing_support;
using app::Action;

namespace {

constexpr int kSerialActions = 1000;
constexpr int kNetworkActions = 10000;
constexpr int kWarmUp = 100;                 // actions before the first measurement
constexpr std::size_t kBackToBack = 25;      // actions sent before the emulator's lines are read
constexpr std::size_t kStatusDrainEvery = 4; // batches; the emulator says two lines per connection

// Allocator noise (the heap's top is trimmed only past 128 KiB) stays well below this; a leak
// of 64 bytes an action over the network run does not.
constexpr long kRssSlackKiB = 512;

// AddressSanitizer holds freed memory back on purpose, so resident memory grows there without
// a leak; its LeakSanitizer looks for leaks in that build instead.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kRssMeasurable = false;
#else
constexpr bool kRssMeasurable = true;
#endif

constexpr std::array kActions = {Action::EnableDip, Action::DisableDip, Action::RestoreDefault,
                                 Action::StoreSetting, Action::PrintSelfTest};

// VmRSS of this process in KiB, -1 when /proc does not say.
long residentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

struct Usage {
    std::size_t descriptors = 0;
    long rssKiB = 0;
};

Usage usage() {
    return {openDescriptors().size(), residentKiB()};
}

// Runs count actions through one port, in batches sent back to back before the emulator's
// lines are read, and checks each frame it decoded. The usage after the warm-up is compared
// with the usage at the end.
void soak(EmulatorProcess &emu, const app::ActionInputs &base, int count, const char *what) {
    SCOPED_TRACE(what);
    protocol::SettingChoices choices = protocol::defaultChoices();
    Usage warm;
    std::vector<std::string> expected;
    for (int i = 0; i < count; ++i) {
        if (i == kWarmUp)
            warm = usage();
        const Action action = kActions[static_cast<std::size_t>(i) % kActions.size()];
        // another baud rate each time: the stored byte changes
        choices.baud = *protocol::baudOfRate(protocol::kBaudRates[static_cast<std::size_t>(i) % 4]);
        app::ActionInputs in = base;
        in.choices = choices;
        const app::Result out = app::runAction(action, in, device::libraryPosdll());
        ASSERT_TRUE(out.succeeded()) << "action " << i << ": " << out.reason;
        expected.push_back(protocol::decodeFrame(app::frameFor(action, choices)).description);
        if (expected.size() < kBackToBack && i + 1 < count)
            continue;
        for (std::size_t heard = 0; heard < expected.size(); ++heard)
            ASSERT_EQ(emu.frameLine(), expected[heard])
                << "action " << i + 1 - static_cast<int>(expected.size() - heard) << ": only "
                << heard << " of the last " << expected.size() << " frames were heard";
        expected.clear();
        if (static_cast<std::size_t>(i) / kBackToBack % kStatusDrainEvery ==
            0) // keep its standard error from filling up
            while (!emu.statusLine(milliseconds(10)).empty()) {
            }
    }
    const Usage end = usage();
    EXPECT_EQ(end.descriptors, warm.descriptors) << "descriptors after " << count << " actions";
    if (kRssMeasurable) {
        EXPECT_LE(end.rssKiB, warm.rssKiB + kRssSlackKiB)
            << "resident memory after " << count << " actions, in KiB (" << warm.rssKiB << " after "
            << kWarmUp << ")";
    }
}

} // namespace

TEST(soak_test, thousands_of_actions_leave_no_descriptor_and_no_memory_behind) {
    TempDir dir;
    const std::string link = dir.file("ttyPOS");
    EmulatorProcess emu({"--listen", "127.0.0.1:0", "--pty", link, "--count",
                         std::to_string(kSerialActions + kNetworkActions)});
    const std::string address = emu.listeningAddress();
    ASSERT_FALSE(address.empty()) << "the emulator did not start";
    ASSERT_NE(emu.statusLine().find("linked at " + link), std::string::npos);
    ScopedEnv com9("POSDLL_PORT_COM9", link);

    app::ActionInputs serial;
    serial.port = {"COM9", "", "115200", ""};
    soak(emu, serial, kSerialActions, "serial, over the emulator's pseudo-terminal");
    if (HasFatalFailure())
        return;
    app::ActionInputs network;
    network.port = {"ETHERNET", address, "19200", ""};
    soak(emu, network, kNetworkActions, "network, to the emulator on loopback");
    if (HasFatalFailure())
        return;
    EXPECT_EQ(emu.exitStatus(), 0) << "it ends after the count of frames it was given";
}
