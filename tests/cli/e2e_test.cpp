// The built posdip-cli against real listeners on 127.0.0.1.
#include "run_cli.h"
#include "support/full_backlog_listener.h"
#include "support/tcp_listener.h"

#include <gtest/gtest.h>

#include <sstream>

using cli_test::CliSetup;
using cli_test::runCliBinary;
using cli_test::writeFile;
using testing_support::ClosedPort;
using testing_support::FullBacklogListener;
using testing_support::TcpListener;
using namespace std::chrono_literals;

namespace {

using Bytes = TcpListener::Bytes;

const Bytes kEnable = {0x1F, 0x1B, 0x1F, 0xC0, 0x15, 0x14, 0x13, 0x12, 0x11, 0x10, 0xAA};
const Bytes kDisable = {0x1F, 0x1B, 0x1F, 0xC0, 0x15, 0x14, 0x13, 0x12, 0x11, 0x10, 0x77};
const Bytes kSelfTest = {0x1F, 0x1B, 0x1F, 0x93, 0x10, 0x11, 0x12, 0x15, 0x16, 0x17, 0x10, 0x00};
Bytes writeSetting(std::uint8_t b) {
    return {0x1F, 0x1B, 0x1F, 0xA1, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, b};
}

std::vector<std::string> lines(const std::string &text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

// "127.0.0.1:PORT", as --ip and the targets file take it.
std::string addressOf(const TcpListener &l) {
    return "127.0.0.1:" + std::to_string(l.port());
}

// The bytes of each finished connection, once there are count of them or the limit passed.
std::vector<Bytes> collect(TcpListener &l, std::size_t count, std::chrono::milliseconds limit) {
    l.waitForSessions(count, limit);
    return l.sessions();
}

CliSetup onTerminal() {
    CliSetup s;
    s.stderrIsTerminal = true;
    return s;
}

CliSetup withEnv(std::string entry) {
    CliSetup s;
    s.env.push_back(std::move(entry));
    return s;
}

} // namespace

TEST(cli_e2e_test, help_on_every_subcommand_and_version) {
    for (const char *sub : {"enable", "disable", "restore", "store", "selftest", "decode",
                            "printers", "ports", "status", "scan"}) {
        const auto r = runCliBinary({sub, "--help"});
        EXPECT_EQ(r.status, 0) << sub;
        EXPECT_EQ(r.out.rfind(std::string("Usage: posdip-cli ") + sub, 0), 0u) << r.out;
    }
    const auto overview = runCliBinary({"--help"});
    EXPECT_EQ(overview.status, 0);
    EXPECT_NE(overview.out.find("Exit status: 0"), std::string::npos);
    const auto v = runCliBinary({"--version"});
    EXPECT_EQ(v.status, 0);
    EXPECT_EQ(v.out.rfind("posdip-cli ", 0), 0u);
    EXPECT_GT(v.out.size(), std::string("posdip-cli \n").size());
}

TEST(cli_e2e_test, usage_errors_exit_2_and_name_the_argument) {
    auto r = runCliBinary({"store", "--ip", "127.0.0.1", "--set-baud", "4800"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("--set-baud: '4800'"), std::string::npos) << r.err;
    r = runCliBinary({"reboot"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("'reboot' is not a subcommand"), std::string::npos) << r.err;
    EXPECT_EQ(runCliBinary({}).status, 2);
    for (const char *network : {"224.0.0.0/24", "255.255.255.255/32"}) {
        r = runCliBinary({"scan", network});
        EXPECT_EQ(r.status, 2) << network;
        EXPECT_NE(r.err.find("no address in it can be a printer"), std::string::npos) << r.err;
    }
}

TEST(cli_e2e_test, each_action_sends_its_frame_over_tcp) {
    const struct {
        std::vector<std::string> args;
        Bytes frame;
        std::string says;
    } rows[] = {
        {{"enable"}, kEnable, ": ok: Please Restart Printer First!"},
        {{"disable"}, kDisable, ": ok: Please Restart Printer First!"},
        {{"restore"}, writeSetting(0xFD), ": ok: Please Restart Printer."},
        {{"store", "--cutter", "no", "--set-baud", "115200"},
         writeSetting(0x7C),
         ": ok: Please Restart Printer."},
        {{"store", "--byte", "0x3D"}, writeSetting(0x3D), ": ok: Please Restart Printer."},
        {{"selftest"}, kSelfTest, ": ok"},
    };
    for (const auto &row : rows) {
        TcpListener printer;
        std::vector<std::string> args = row.args;
        args.insert(args.end(), {"--ip", addressOf(printer)});
        const auto r = runCliBinary(args);
        EXPECT_EQ(r.status, 0) << args[0] << ": " << r.out << r.err;
        EXPECT_EQ(r.out, "ETHERNET " + addressOf(printer) + row.says + "\n");
        const auto got = collect(printer, 1, 10s);
        ASSERT_EQ(got.size(), 1u) << args[0];
        EXPECT_EQ(got[0], row.frame) << args[0];
    }
}

TEST(cli_e2e_test, a_batch_reports_every_target_in_order_and_exits_1_on_any_failure) {
    TcpListener a, b;
    const ClosedPort refusing;
    const std::string dead = "127.0.0.1:" + std::to_string(refusing.port);
    std::string list = "# two printers, five times each, and one that refuses\n";
    std::vector<std::string> expected;
    for (int i = 0; i < 5; ++i) {
        list += "ETHERNET " + addressOf(a) + "\nETHERNET " + addressOf(b) + "\n";
        expected.push_back("ETHERNET " + addressOf(a) + ": ok: Please Restart Printer.");
        expected.push_back("ETHERNET " + addressOf(b) + ": ok: Please Restart Printer.");
        if (i == 2) {
            list += "ETHERNET " + dead + "   # gone\n";
            expected.push_back("ETHERNET " + dead + ": failed: Fail to open port,please check! (");
        }
    }
    const std::string file = writeFile("posdip_cli_batch.txt", list);
    const auto r = runCliBinary({"store", "--density", "dark", "-j", "4", "--targets", file});
    EXPECT_EQ(r.status, 1) << r.err;
    const auto got = lines(r.out);
    ASSERT_EQ(got.size(), expected.size()) << r.out;
    for (std::size_t i = 0; i < got.size(); ++i)
        EXPECT_EQ(got[i].rfind(expected[i], 0), 0u) << got[i];
    EXPECT_NE(r.out.find(dead), std::string::npos);
    for (TcpListener *l : {&a, &b}) {
        const auto frames = collect(*l, 5, 10s);
        ASSERT_EQ(frames.size(), 5u);
        for (const Bytes &f : frames)
            EXPECT_EQ(f, writeSetting(0xF9));
    }
    EXPECT_EQ(r.err.find('\r'), std::string::npos) << "progress line on a pipe";
}

TEST(cli_e2e_test, a_printer_that_never_answers_is_reported_as_failed) {
    FullBacklogListener silent;
    TcpListener alive;
    const auto r = runCliBinary({"enable", "--json", "--connect-timeout", "0.5", "--ip",
                                 silent.address(), "--ip", addressOf(alive)});
    EXPECT_EQ(r.status, 1);
    const auto got = lines(r.out);
    ASSERT_EQ(got.size(), 2u) << r.out;
    EXPECT_EQ(got[0].rfind(R"({"schema":2,"target":"ETHERNET )" + silent.address() +
                               R"(","port":"ETHERNET","address":"127.0.0.1","tcp_port":)" +
                               silent.address().substr(10) +
                               R"(,"action":"enable","ok":false,"kind":"timeout","stage":"open",)",
                           0),
              0u)
        << got[0];
    EXPECT_NE(got[0].find(R"("message":"Fail to open port,please check!","reason":"network )"),
              std::string::npos)
        << got[0];
    EXPECT_EQ(got[1].rfind(R"({"schema":2,"target":"ETHERNET )" + addressOf(alive) +
                               R"(","port":"ETHERNET","address":"127.0.0.1","tcp_port":)" +
                               addressOf(alive).substr(10) +
                               R"(,"action":"enable","ok":true,"kind":"ok","stage":"close",)",
                           0),
              0u)
        << got[1];
    EXPECT_NE(got[1].find(R"("message":"Please Restart Printer First!",)"
                          R"("frame":"1F 1B 1F C0 15 14 13 12 11 10 AA"})"),
              std::string::npos)
        << got[1];
}

TEST(cli_e2e_test, dry_run_opens_nothing) {
    TcpListener printer;
    const auto r = runCliBinary({"store", "--dry-run", "--ip", addressOf(printer)});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "1F 1B 1F A1 10 11 12 13 14 15 FD  store setting 0xFD: cutter yes, beeper "
                     "yes, density light, two-byte yes, 48 chars, paper-taken yes, 19200 bps\n"
                     "ETHERNET " +
                         addressOf(printer) + ": not sent (dry run)\n");
    EXPECT_FALSE(printer.waitForSessions(1, 300ms));
    EXPECT_EQ(printer.accepted(), 0);
}

TEST(cli_e2e_test, progress_line_only_on_a_terminal_and_only_for_many) {
    TcpListener printer;
    const std::vector<std::string> many = {"selftest",         "--ip", addressOf(printer), "--ip",
                                           addressOf(printer), "--ip", addressOf(printer)};
    const auto terminal = runCliBinary(many, onTerminal());
    EXPECT_EQ(terminal.status, 0) << terminal.out;
    EXPECT_NE(terminal.err.find("\r\033[K[3/3]"), std::string::npos) << terminal.err;
    EXPECT_EQ(lines(terminal.out).size(), 3u);

    const auto one = runCliBinary({"selftest", "--ip", addressOf(printer)}, onTerminal());
    EXPECT_EQ(one.err, "");
    const auto piped = runCliBinary(many);
    EXPECT_EQ(piped.err, "");
    EXPECT_EQ(collect(printer, 7, 10s).size(), 7u);
}

TEST(cli_e2e_test, ports_lists_the_names_and_honours_overrides) {
    const std::string fake = writeFile("posdip_cli_fake_tty", "");
    auto r = runCliBinary({"ports"}, withEnv("POSDLL_PORT_COM14=" + fake));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("COM1   /dev/ttyS0"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("LPT3   /dev/"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("COM14  " + fake), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("present  (POSDLL_PORT_COM14)"), std::string::npos) << r.out;
    r = runCliBinary({"ports", "--json"}, withEnv("POSDLL_PORT_LPT2=/nonexistent/lp"));
    EXPECT_NE(r.out.find(R"({"schema":2,"port":"LPT2","device":"/nonexistent/lp","present":false,)"
                         R"("override":"POSDLL_PORT_LPT2"})"),
              std::string::npos)
        << r.out;
}

TEST(cli_e2e_test, ports_names_the_device_that_sending_to_the_port_opens) {
    const CliSetup unset = withEnv("POSDLL_PORT_LPT3="); // an empty override is none
    const auto list = runCliBinary({"ports", "--json"}, unset);
    const std::string head = R"({"schema":2,"port":"LPT3","device":")";
    const auto at = list.out.find(head);
    ASSERT_NE(at, std::string::npos) << list.out;
    const auto from = at + head.size();
    const std::string device = list.out.substr(from, list.out.find('"', from) - from);
    if (list.out.find(head + device + R"(","present":true)") != std::string::npos)
        GTEST_SKIP() << device << " is a real device here: nothing is sent to it";
    const auto sent = runCliBinary({"selftest", "--port", "LPT3"}, unset);
    EXPECT_EQ(sent.status, 1);
    EXPECT_NE(sent.out.find("(parallel port LPT3 (" + device + "): No such file or directory"),
              std::string::npos)
        << "ports says " << device << "; the send says " << sent.out;
}

TEST(cli_e2e_test, decode_from_the_command_line) {
    const auto r =
        runCliBinary({"decode", "1F", "1B", "1F", "A1", "10", "11", "12", "13", "14", "15", "BD"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("store setting 0xBD: "), std::string::npos);
    EXPECT_NE(r.out.find("9600 bps"), std::string::npos);
}
