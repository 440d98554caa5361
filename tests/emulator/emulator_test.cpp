// posdip-emulator as a program: frames sent by the setting actions come back decoded.
#include "client.h"
#include "emulator_process.h"

#include "app/actions.h"
#include "app/message.h"
#include "device/PosdllFuncs.h"
#include "protocol/frame_decode.h"

#include <gtest/gtest.h>

#include <atomic>
#include <sys/stat.h>
#include <thread>

using namespace testing_support;
using app::Action;

namespace {

app::Result send(Action action, const std::string &port, const std::string &ip,
                 const protocol::SettingChoices &choices = protocol::defaultChoices()) {
    app::ActionInputs in;
    in.port = {port, ip, "19200", ""};
    in.choices = choices;
    return app::runAction(action, in, device::libraryPosdll());
}

std::string described(Action action, const protocol::SettingChoices &choices) {
    return protocol::decodeFrame(app::frameFor(action, choices)).description;
}

bool exists(const std::string &path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

} // namespace

TEST(emulator_test, store_setting_sent_by_the_action_is_printed_back_decoded) {
    EmulatorProcess emu({"--listen", "127.0.0.1:0", "--count", "1"});
    const std::string address = emu.listeningAddress();
    ASSERT_FALSE(address.empty());
    protocol::SettingChoices options = protocol::defaultChoices();
    options.beeper = !options.beeper; // another beeper choice than the default
    const app::Message out = app::messageFor(
        Action::StoreSetting, send(Action::StoreSetting, "ETHERNET", address, options));
    EXPECT_EQ(out.title, "info") << out.detail;
    EXPECT_EQ(out.text, "Please Restart Printer.");
    const std::string line = emu.frameLine();
    EXPECT_EQ(line, described(Action::StoreSetting, options));
    EXPECT_EQ(line.rfind("store setting 0x", 0), 0u) << line;
    EXPECT_NE(line, described(Action::RestoreDefault, options));
    EXPECT_EQ(emu.exitStatus(), 0) << "--count 1 ends it";
}

TEST(emulator_test, connection_after_connection_with_hex) {
    EmulatorProcess emu({"--listen", "127.0.0.1:0", "--hex", "--count", "3"});
    const std::string address = emu.listeningAddress();
    ASSERT_FALSE(address.empty());
    const protocol::SettingChoices options = protocol::defaultChoices();
    for (Action a : {Action::EnableDip, Action::PrintSelfTest, Action::DisableDip}) {
        EXPECT_TRUE(send(a, "ETHERNET", address).succeeded()) << app::actionName(a);
        EXPECT_EQ(emu.frameLine(),
                  described(a, options) + " | " + protocol::toHex(app::frameFor(a, options)));
    }
    EXPECT_EQ(emu.exitStatus(), 0);
}

TEST(emulator_test, frames_in_pieces_and_stray_bytes_are_told_apart) {
    EmulatorProcess emu({"--listen", "127.0.0.1:0", "--count", "3"});
    const std::string address = emu.listeningAddress();
    ASSERT_FALSE(address.empty());
    Fd c = connectTo(address);
    const protocol::Frame f = protocol::enableFrame();
    const unsigned char junk[] = {'x', 'y'};
    ASSERT_EQ(::write(c.get(), junk, 2), 2);
    ASSERT_EQ(::write(c.get(), f.data(), 5), 5); // the frame in two pieces
    EXPECT_EQ(emu.frameLine(), "unknown bytes (2): 78 79");
    ASSERT_EQ(::write(c.get(), f.data() + 5, f.size() - 5), static_cast<ssize_t>(f.size() - 5));
    EXPECT_EQ(emu.frameLine(), "enable DIP switch");
    ASSERT_EQ(::write(c.get(), f.data(), 4), 4); // cut off by the end of the connection
    c.reset();
    EXPECT_EQ(emu.frameLine(), "unknown bytes (4): 1F 1B 1F C0");
    EXPECT_EQ(emu.exitStatus(), 0);
}

TEST(emulator_test, connections_open_at_once_are_kept_apart) {
    EmulatorProcess emu({"--listen", "127.0.0.1:0", "--count", "4"});
    const std::string address = emu.listeningAddress();
    ASSERT_FALSE(address.empty());
    const protocol::Frame on = protocol::enableFrame();
    const protocol::Frame off = protocol::disableFrame();
    std::vector<Fd> clients;
    for (int k = 0; k < 3; ++k) { // each holds half a frame while the next one connects
        clients.push_back(connectTo(address));
        ASSERT_EQ(::write(clients.back().get(), on.data(), 6), 6);
        EXPECT_NE(emu.statusLine().find("connection from 127.0.0.1:"), std::string::npos);
    }
    Fd whole = connectTo(address);
    ASSERT_EQ(::write(whole.get(), off.data(), off.size()), static_cast<ssize_t>(off.size()));
    EXPECT_EQ(emu.frameLine(), "disable DIP switch");
    for (Fd &c : clients) {
        ASSERT_EQ(::write(c.get(), on.data() + 6, on.size() - 6),
                  static_cast<ssize_t>(on.size() - 6));
        EXPECT_EQ(emu.frameLine(), "enable DIP switch");
    }
    EXPECT_EQ(emu.exitStatus(), 0);
}

TEST(emulator_test, a_client_that_never_reads_its_answers_holds_up_nobody_else) {
    LoopbackEmulator f({});
    ASSERT_FALSE(f.address.empty());
    std::atomic<bool> stop = false;
    std::thread drain([&] { // a line for each request; a full pipe would stop the emulator
        while (!stop)
            f.emu.outputLine(milliseconds(100));
    });
    Fd stuck = connectTo(f.address, 4096);
    Bytes requests;
    for (int k = 0; k < 1000; ++k)
        requests.insert(requests.end(), {0x10, 0x04, 0x01});
    const auto sent = sendUntilStuck(stuck.get(), requests, 64u << 20);
    EXPECT_TRUE(sent) << "the stuck client could send without end";

    Fd other = connectTo(f.address);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(sendAll(other.get(), {0x10, 0x04, 0x01}));
    EXPECT_EQ(readCount(other.get(), 1), Bytes{0x12});
    EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(2000));

    // Once it reads, the stuck client finds every answer.
    const std::size_t answers = sent.value_or(0) / 3;
    EXPECT_EQ(readCount(stuck.get(), answers, milliseconds(20000)).size(), answers);
    stop = true;
    drain.join();
}

TEST(emulator_test, a_serial_port_mapped_to_its_terminal_is_heard) {
    TempDir dir;
    const std::string link = dir.file("ttyPOS");
    EmulatorProcess emu({"--pty", link, "--count", "2"});
    const std::string status = emu.statusLine();
    ASSERT_NE(status.find("linked at " + link), std::string::npos) << status;
    ScopedEnv env("POSDLL_PORT_COM9", link);
    for (Action a : {Action::RestoreDefault, Action::EnableDip}) {
        const app::Message out = app::messageFor(a, send(a, "COM9", ""));
        EXPECT_EQ(out.title, "info") << out.detail;
        EXPECT_EQ(emu.frameLine(), described(a, protocol::defaultChoices()));
    }
    EXPECT_EQ(emu.exitStatus(), 0);
    EXPECT_FALSE(exists(link)) << "the link goes with the emulator";
}

TEST(emulator_test, sigterm_and_sigint_end_it_cleanly) {
    for (int sig : {SIGTERM, SIGINT}) {
        TempDir dir;
        const std::string link = dir.file("ttyPOS");
        EmulatorProcess emu({"--listen", "127.0.0.1:0", "--pty", link});
        ASSERT_FALSE(emu.listeningAddress().empty());
        ASSERT_NE(emu.statusLine().find("linked at"), std::string::npos);
        ASSERT_TRUE(exists(link));
        ::kill(emu.pid(), sig);
        EXPECT_EQ(emu.exitStatus(), 0) << sig;
        EXPECT_NE(emu.statusLine().find("stopping on SIG"), std::string::npos);
        EXPECT_FALSE(exists(link));
    }
}

TEST(emulator_test, help_and_wrong_command_lines) {
    EmulatorProcess help({"--help"});
    EXPECT_NE(help.restOfOutput().find("usage: posdip-emulator [--listen HOST:PORT]"),
              std::string::npos);
    EXPECT_EQ(help.exitStatus(), 0);

    EmulatorProcess wrong({"--count", "none"});
    EXPECT_EQ(wrong.statusLine(), "posdip-emulator: --count 'none': not a number of frames");
    EXPECT_EQ(wrong.exitStatus(), 2);
}

TEST(emulator_test, what_it_cannot_set_up_is_said_and_left_as_it_was) {
    Listener taken;
    ASSERT_TRUE(taken.ok());
    EmulatorProcess busy({"--listen", taken.address()});
    EXPECT_EQ(busy.statusLine(),
              "posdip-emulator: cannot listen on " + taken.address() + ": Address already in use");
    EXPECT_EQ(busy.exitStatus(), 1);

    TempDir dir;
    const std::string there = dir.file("taken");
    Fd(::open(there.c_str(), O_CREAT | O_WRONLY, 0644));
    EmulatorProcess linked({"--pty", there});
    EXPECT_EQ(linked.statusLine(),
              "posdip-emulator: cannot make the link " + there + ": File exists");
    EXPECT_EQ(linked.exitStatus(), 1);
    EXPECT_TRUE(exists(there)) << "someone else's file stays";
}
