// posdip-emulator's fault modes, seen from a real client socket, and its accepting when it runs
// out of descriptors.
#include "client.h"
#include "emulator_process.h"

#include "protocol/frames.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <sys/resource.h>

using namespace testing_support;

namespace {

const Bytes kEnableBytes = bytesOf(protocol::enableFrame());

// Processor time the process has used so far, user and system, in clock ticks.
long cpuTicks(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string skip;
    for (int i = 3; i < 14; ++i) // fields 3 to 13 come before utime
        fields >> skip;
    long user = 0;
    long system = 0;
    fields >> user >> system;
    return user + system;
}

// The descriptor the process's next open gets: the lowest one not in use.
int lowestFreeDescriptorOf(pid_t pid) {
    std::set<int> used;
    for (const auto &e :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd"))
        used.insert(std::stoi(e.path().filename()));
    int fd = 0;
    while (used.count(fd))
        ++fd;
    return fd;
}

} // namespace

TEST(emulator_fault_test, each_mode_as_a_client_sees_it) {
    {
        LoopbackEmulator f({"--fault", "close"});
        ASSERT_FALSE(f.address.empty());
        Fd c = connectTo(f.address);
        EXPECT_EQ(endingOf(c.get(), milliseconds(10000)), Ending::Orderly) << "closed at once";
    }
    {
        LoopbackEmulator f({"--fault", "reset"});
        ASSERT_FALSE(f.address.empty());
        Fd c = connectTo(f.address);
        ASSERT_TRUE(f.emu.says("connection from"));
        EXPECT_EQ(endingOf(c.get(), milliseconds(300)), Ending::StillOpen)
            << "nothing happens before the first byte";
        ASSERT_TRUE(sendAll(c.get(), kEnableBytes));
        EXPECT_EQ(endingOf(c.get(), milliseconds(10000)), Ending::Reset);
        EXPECT_TRUE(f.emu.says("reset after its first byte"));
    }
    {
        LoopbackEmulator f({"--fault", "keep-open"});
        ASSERT_FALSE(f.address.empty());
        Fd c = connectTo(f.address);
        ASSERT_TRUE(sendAll(c.get(), kEnableBytes));
        ASSERT_EQ(::shutdown(c.get(), SHUT_WR), 0);
        EXPECT_EQ(f.emu.frameLine(), "enable DIP switch") << "what was sent is still taken";
        EXPECT_TRUE(f.emu.says("kept open"));
        EXPECT_EQ(endingOf(c.get(), milliseconds(500)), Ending::StillOpen);
    }
    {
        LoopbackEmulator f({"--fault", "silent"});
        ASSERT_FALSE(f.address.empty());
        Fd c = connectTo(f.address);
        ASSERT_TRUE(sendAll(c.get(), {0x10, 0x04, 0x01}));
        EXPECT_EQ(f.emu.frameLine(), "status request 1 (printer): not answered");
        ASSERT_TRUE(sendAll(c.get(), kEnableBytes));
        EXPECT_EQ(f.emu.frameLine(), "enable DIP switch") << "frames are still taken";
        EXPECT_EQ(endingOf(c.get(), milliseconds(300)), Ending::StillOpen) << "no answer byte";
        ASSERT_EQ(::shutdown(c.get(), SHUT_WR), 0);
        EXPECT_EQ(endingOf(c.get(), milliseconds(10000)), Ending::Orderly);
    }
}

TEST(emulator_fault_test, without_a_fault_the_same_client_sees_a_working_printer) {
    EmulatorProcess emu({"--listen", "127.0.0.1:0"});
    const std::string address = emu.listeningAddress();
    ASSERT_FALSE(address.empty());
    Fd c = connectTo(address);
    Bytes bytes = kEnableBytes;
    bytes.insert(bytes.end(), {0x10, 0x04, 0x01});
    ASSERT_TRUE(sendAll(c.get(), bytes));
    EXPECT_EQ(readCount(c.get(), 1), Bytes{0x12});
    ASSERT_EQ(::shutdown(c.get(), SHUT_WR), 0);
    EXPECT_EQ(endingOf(c.get(), milliseconds(10000)), Ending::Orderly);
}

TEST(emulator_fault_test, stall_takes_nothing_until_the_sender_is_stuck) {
    LoopbackEmulator f({"--fault", "stall"});
    ASSERT_FALSE(f.address.empty());
    Fd c = connectTo(f.address);
    const std::size_t cap = 256u << 20; // far beyond any socket buffer
    EXPECT_TRUE(sendUntilStuck(c.get(), Bytes(65536, 0x41), cap)) << "the sender never had to wait";
    EXPECT_EQ(f.emu.frameLine(milliseconds(200)), "") << "nothing was read, so nothing decoded";
    // A sender that gives up on a stuck printer resets: its unsent bytes could never go.
    const linger abort{1, 0};
    ::setsockopt(c.get(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    c.reset();
    EXPECT_TRUE(f.emu.says("ended unread")) << "the connection is let go when the sender goes";
}

TEST(emulator_fault_test, out_of_descriptors_it_waits_instead_of_spinning) {
    EmulatorProcess emu({"--listen", "127.0.0.1:0"});
    const std::string address = emu.listeningAddress();
    ASSERT_FALSE(address.empty());
    // Room for exactly one more descriptor: the first client takes it.
    const auto limit = static_cast<rlim_t>(lowestFreeDescriptorOf(emu.pid()) + 1);
    const rlimit lowered{limit, limit};
    ASSERT_EQ(::prlimit(emu.pid(), RLIMIT_NOFILE, &lowered, nullptr), 0) << std::strerror(errno);
    Fd first = connectTo(address);
    ASSERT_TRUE(emu.says("connection from"));
    Fd second = connectTo(address); // queued; accepting it runs out of descriptors
    ASSERT_GE(second.get(), 0);
    ASSERT_TRUE(emu.says("Too many open files"));

    const auto start = std::chrono::steady_clock::now();
    const long ticksBefore = cpuTicks(emu.pid());
    int failures = 0;
    while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(1000))
        if (emu.statusLine(milliseconds(100)).find("accept failed") != std::string::npos)
            ++failures;
    const double cpuSeconds =
        static_cast<double>(cpuTicks(emu.pid()) - ticksBefore) / ::sysconf(_SC_CLK_TCK);
    EXPECT_EQ(failures, 0) << "the shortage is said once, not at every retry";
    EXPECT_LT(cpuSeconds, 0.1) << "processor time in 1 s of waiting";

    // A descriptor comes free: the queued client is served.
    first.reset();
    EXPECT_TRUE(emu.says("accepting connections again"));
    ASSERT_TRUE(sendAll(second.get(), {0x10, 0x04, 0x01}));
    EXPECT_EQ(readCount(second.get(), 1), Bytes{0x12});
}
