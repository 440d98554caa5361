// The built posdip-cli against posdip-emulator: what the command line sends is what the stand-in
// printer hears and explains, over the network and over a serial line.
#include "emulator/emulator_process.h"
#include "run_cli.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>

using cli_test::CliSetup;
using cli_test::runCliBinary;
using testing_support::EmulatorProcess;

namespace {

struct Sent {
    std::vector<std::string> args;
    const char *heard; // the emulator's line for it
};

const Sent kEverySubcommand[] = {
    {{"enable"}, "enable DIP switch"},
    {{"disable"}, "disable DIP switch"},
    {{"restore"},
     "store setting 0xFD: cutter yes, beeper yes, density light, two-byte yes, "
     "48 chars, paper-taken yes, 19200 bps"},
    {{"store", "--density", "dark", "--chars", "42", "--set-baud", "115200"},
     "store setting 0x69: cutter yes, beeper yes, density dark, two-byte yes, 42 chars, "
     "paper-taken yes, 115200 bps"},
    {{"store", "--byte", "0x00"},
     "store setting 0x00: cutter no, beeper yes, density dark, "
     "two-byte no, 42 chars, paper-taken no, 38400 bps"},
    {{"selftest"}, "print self-test"},
};

} // namespace

TEST(cli_emulator_test, every_action_over_the_network_is_heard_as_sent) {
    EmulatorProcess emu(
        {"--listen", "127.0.0.1:0", "--count", std::to_string(std::size(kEverySubcommand))});
    const std::string address = emu.listeningAddress();
    ASSERT_FALSE(address.empty());
    for (const Sent &s : kEverySubcommand) {
        std::vector<std::string> args = s.args;
        args.insert(args.end(), {"--ip", address});
        const auto run = runCliBinary(args);
        EXPECT_EQ(run.status, 0) << s.args[0] << ": " << run.out << run.err;
        EXPECT_EQ(emu.frameLine(), s.heard) << s.args[0];
    }
    EXPECT_EQ(emu.exitStatus(), 0);
}

TEST(cli_emulator_test, a_serial_port_mapped_to_the_emulator_is_heard) {
    testing_support::TempDir dir;
    const std::string link = dir.file("ttyPOS");
    EmulatorProcess emu({"--pty", link, "--count", "2"});
    ASSERT_NE(emu.statusLine().find("linked at " + link), std::string::npos);
    CliSetup setup;
    setup.env.push_back("POSDLL_PORT_COM4=" + link);
    for (const Sent &s : {kEverySubcommand[0], kEverySubcommand[3]}) {
        std::vector<std::string> args = s.args;
        args.insert(args.end(), {"--port", "COM4", "--baud", "115200"});
        const auto run = runCliBinary(args, setup);
        EXPECT_EQ(run.status, 0) << s.args[0] << ": " << run.out << run.err;
        EXPECT_EQ(emu.frameLine(), s.heard) << s.args[0];
    }
    EXPECT_EQ(emu.exitStatus(), 0);
}
