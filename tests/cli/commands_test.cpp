// posdip-cli run in-process: what it prints and returns, and what it asks of the library.
#include "commands.h"
#include "progress.h"

#include "posdll/posdll.h"
#include "protocol/frames.h"
#include "support/recording_posdll.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <tuple>

using testing_support::RecordedOpen;
using testing_support::RecordingPosdll;

namespace {

struct CliResult {
    int status;
    std::string out;
    std::string err;
};

// `terminal`: stderr is a terminal that takes escapes.
CliResult run(const std::vector<std::string> &args, device::PosdllFuncs &lib,
              std::string input = {}, bool terminal = false) {
    std::ostringstream out, err;
    std::istringstream in(input);
    const int status =
        cli::runCli(args, cli::Io{out, err, in, terminal, false, false, terminal}, lib);
    return {status, out.str(), err.str()};
}

CliResult run(const std::vector<std::string> &args) {
    RecordingPosdll lib;
    CliResult r = run(args, lib);
    EXPECT_TRUE(lib.calls.empty()) << "the library was called";
    return r;
}

// A file in the test's temporary folder, removed at the end.
class TempFile {
  public:
    explicit TempFile(const std::string &text) {
        m_path = ::testing::TempDir() + "posdip_cli_targets_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt";
        std::ofstream(m_path) << text;
    }
    ~TempFile() { std::remove(m_path.c_str()); }
    const std::string &path() const { return m_path; }

  private:
    std::string m_path;
};

// A stand-in library for many threads: each thread has its own open port, as in the real one.
// Opens of addresses in `refuse` fail.
class ThreadedRecordingPosdll : public device::PosdllFuncs {
  public:
    std::set<std::string> refuse;

    std::map<std::string, std::vector<std::uint8_t>> written() {
        std::lock_guard lock(m_mutex);
        return m_written;
    }
    int POS_Open(const std::string &name, int, int, int, int, int) override {
        if (refuse.count(name)) {
            t_open.clear();
            return -1;
        }
        t_open = name;
        return 1;
    }
    int POS_StartDoc() override { return t_open.empty() ? -1 : 0; }
    int POS_WriteFile(int, const std::uint8_t *bytes, int count) override {
        std::lock_guard lock(m_mutex);
        auto &w = m_written[t_open];
        w.insert(w.end(), bytes, bytes + count);
        return count;
    }
    int POS_EndDoc() override { return 0; }
    int POS_Close() override {
        t_open.clear();
        return 0;
    }
    int POS_SetDocName(const std::string &) override { return 0; }
    std::string POS_LastError() override { return "connection refused"; }
    int POS_ReadFile(int, std::uint8_t *, int, int) override { return -1; }
    int POS_SetTimeouts(int, int) override { return 0; }
    int POS_LastErrorKind() override { return POS_ERR_REFUSED; }
    int POS_LastErrno() override { return ECONNREFUSED; }
    int POS_SetDeliveryWait(int) override { return 0; }
    int POS_DiscardInput(int) override { return -1; }

  private:
    static thread_local std::string t_open;
    std::mutex m_mutex;
    std::map<std::string, std::vector<std::uint8_t>> m_written;
};
thread_local std::string ThreadedRecordingPosdll::t_open;

} // namespace

TEST(cli_commands_test, dry_run_prints_each_actions_frame_and_opens_nothing) {
    const struct {
        const char *sub;
        const char *line;
    } rows[] = {
        {"enable", "1F 1B 1F C0 15 14 13 12 11 10 AA  enable DIP switch\n"},
        {"disable", "1F 1B 1F C0 15 14 13 12 11 10 77  disable DIP switch\n"},
        {"restore", "1F 1B 1F A1 10 11 12 13 14 15 FD  store setting 0xFD: cutter yes, beeper "
                    "yes, density light, two-byte yes, 48 chars, paper-taken yes, 19200 bps\n"},
        {"selftest", "1F 1B 1F 93 10 11 12 15 16 17 10 00  print self-test\n"},
    };
    for (const auto &row : rows) {
        const CliResult r = run({row.sub, "--dry-run"});
        EXPECT_EQ(r.status, 0) << row.sub;
        EXPECT_EQ(r.out, row.line);
    }
}

TEST(cli_commands_test, dry_run_of_store_by_name_and_by_byte) {
    EXPECT_EQ(run({"store", "--dry-run", "--chars", "42", "--set-baud", "9600"}).out,
              "1F 1B 1F A1 10 11 12 13 14 15 AD  store setting 0xAD: cutter yes, beeper yes, "
              "density light, two-byte yes, 42 chars, paper-taken yes, 9600 bps\n");
    EXPECT_EQ(run({"store", "--dry-run", "--byte", "0x00"}).out,
              "1F 1B 1F A1 10 11 12 13 14 15 00  store setting 0x00: cutter no, beeper yes, "
              "density dark, two-byte no, 42 chars, paper-taken no, 38400 bps\n");
    // restore sends 0xFD, never what store would.
    EXPECT_NE(run({"restore", "--dry-run"}).out.find("15 FD  "), std::string::npos);
}

TEST(cli_commands_test, dry_run_lists_the_targets_it_would_reach) {
    TempFile f("COM2 9600\nDRIVER Bar\n");
    const CliResult r = run({"enable", "--dry-run", "--ip", "127.0.0.1", "--targets", f.path()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "1F 1B 1F C0 15 14 13 12 11 10 AA  enable DIP switch\n"
                     "ETHERNET 127.0.0.1: not sent (dry run)\n"
                     "COM2: not sent (dry run)\n"
                     "DRIVER Bar: not sent (dry run)\n");
    const CliResult j =
        run({"store", "--dry-run", "--json", "--cutter", "no", "--ip", "127.0.0.1"});
    EXPECT_EQ(j.out,
              R"({"schema":2,"action":"store","dry_run":true,)"
              R"("frame":"1F 1B 1F A1 10 11 12 13 14 15 FC","meaning":"store setting )"
              R"(0xFC: cutter no, beeper yes, density light, two-byte yes, 48 chars, )"
              R"(paper-taken yes, 19200 bps","setting":{"byte":"0xFC","cutter":false,)"
              R"("beeper":true,"density":"light","two_byte":true,"chars":48,)"
              R"("paper_taken":true,"baud":19200,"meaning":"cutter no, beeper yes, density light, )"
              R"(two-byte yes, 48 chars, paper-taken yes, 19200 bps"},)"
              R"("targets":["ETHERNET 127.0.0.1"]})"
              "\n");
}

TEST(cli_commands_test, bad_target_files_are_usage_errors_with_line_numbers) {
    TempFile f("ETHERNET 127.0.0.1\n\nCOM3 1200\nUSB1\n");
    const CliResult r = run({"restore", "--targets", f.path()});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(f.path() + ":3: '1200'"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(f.path() + ":4: 'USB1'"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Try 'posdip-cli restore --help'."), std::string::npos);

    const CliResult missing = run({"restore", "--targets", "/nonexistent/shop.txt"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("cannot read '/nonexistent/shop.txt': No such file or directory"),
              std::string::npos)
        << missing.err;

    TempFile empty("# nothing yet\n");
    const CliResult none = run({"restore", "--targets", empty.path()});
    EXPECT_EQ(none.status, 2);
    EXPECT_NE(none.err.find("no printers listed"), std::string::npos);
}

TEST(cli_commands_test, targets_from_stdin) {
    RecordingPosdll lib;
    const CliResult r = run({"enable", "--dry-run", "--targets", "-"}, lib, "# list\nLPT2\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("LPT2: not sent (dry run)\n"), std::string::npos);
    const CliResult bad = run({"enable", "--targets", "-"}, lib, "LPT2 x\n");
    EXPECT_NE(bad.err.find("stdin:1: "), std::string::npos) << bad.err;
}

TEST(cli_commands_test, usage_error_exits_2_and_names_the_argument) {
    const CliResult r = run({"store", "--ip", "127.0.0.1", "--paper-taken", "sometimes"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "posdip-cli: --paper-taken: 'sometimes' is not yes or no\n"
                     "Try 'posdip-cli store --help'.\n");
    EXPECT_EQ(run({}).status, 2);
    EXPECT_EQ(run({"--help"}).status, 0);
}

TEST(cli_commands_test, an_option_for_a_kind_of_port_none_of_the_targets_is_refused) {
    TempFile f("127.0.0.1\ncom2\n");
    const struct {
        std::vector<std::string> args;
        std::string refusal; // "" when it runs
    } rows[] = {
        {{"store", "--dry-run", "--ip", "127.0.0.1", "--baud", "9600"},
         "--baud is for COM ports, and none is among the printers given; to store the printer's "
         "own rate, use store --set-baud\n"},
        {{"enable", "--dry-run", "--port", "LPT1", "--wait", "5"}, "--wait is for print queues"},
        {{"status", "--port", "COM1", "--connect-timeout", "1"}, "--connect-timeout is for net"},
        {{"enable", "--dry-run", "--targets", f.path(), "--baud", "9600"}, ""},
        {{"enable", "--dry-run", "--targets", f.path(), "--connect-timeout", "1"}, ""},
        {{"enable", "--dry-run", "--port", "DRIVER", "--printer", "Bar", "--wait", "5"}, ""},
    };
    for (const auto &row : rows) {
        const CliResult r = run(row.args);
        EXPECT_EQ(r.status, row.refusal.empty() ? 0 : 2) << row.args[1] << r.err;
        if (!row.refusal.empty())
            EXPECT_NE(r.err.find("posdip-cli: " + row.refusal), std::string::npos) << r.err;
    }
}

TEST(cli_commands_test, decode_frames_and_a_lone_setting_byte) {
    CliResult r = run({"decode", "1F", "1B", "1F", "A1", "10", "11", "12", "13", "14", "15", "7D"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "1F 1B 1F A1 10 11 12 13 14 15 7D  store setting 0x7D: cutter yes, beeper "
                     "yes, density light, two-byte yes, 48 chars, paper-taken yes, 115200 bps\n");
    r = run({"decode", "0xBD"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "0xBD  setting byte: cutter yes, beeper yes, density light, two-byte yes, "
                     "48 chars, paper-taken yes, 9600 bps\n");
    // Two frames in one run of bytes, then a stray tail: exit 1 for the unknown part.
    r = run({"decode", "1f1b1fc0151413121110aa", "1F1B1F931011121516171000", "1F1B"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "1F 1B 1F C0 15 14 13 12 11 10 AA  enable DIP switch\n"
                     "1F 1B 1F 93 10 11 12 15 16 17 10 00  print self-test\n"
                     "1F 1B  unknown bytes (2): 1F 1B\n");
    r = run({"decode", "--json", "1F1B1FC0151413121110770D"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, R"({"schema":2,"frame":"1F 1B 1F C0 15 14 13 12 11 10 77","known":true,)"
                     R"("meaning":"disable DIP switch"})"
                     "\n"
                     R"({"schema":2,"frame":"0D","known":false,"meaning":"unknown bytes (1): 0D"})"
                     "\n");
}

TEST(cli_commands_test, one_port_gets_the_windows_open_arguments_and_frame) {
    RecordingPosdll lib;
    CliResult r = run({"store", "--port", "COM3", "--baud", "115200", "--beeper", "no"}, lib);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "COM3: ok: Please Restart Printer.\n");
    ASSERT_EQ(lib.opens.size(), 1u);
    EXPECT_EQ(lib.opens[0], (RecordedOpen{"COM3", 115200, 8, 0, 0, 1}));
    ASSERT_EQ(lib.writes.size(), 1u);
    EXPECT_EQ(lib.writes[0], protocol::writeSettingFrame(0xFF));
    EXPECT_EQ(lib.calls,
              (std::vector<std::string>{"open", "docname", "start", "write", "end", "close"}));

    RecordingPosdll com; // the JSON line names the device the port opens
    r = run({"enable", "--port", "COM3", "--json"}, com);
    EXPECT_NE(r.out.find(R"("target":"COM3","port":"COM3","device":"/dev/ttyS2",)"),
              std::string::npos)
        << r.out;

    RecordingPosdll drv;
    r = run({"selftest", "--port", "DRIVER", "--printer", "Kitchen", "--json"}, drv);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(drv.opens.at(0), (RecordedOpen{"Kitchen", 0, 0, 0, 0, 20}));
    EXPECT_NE(r.out.find(R"("target":"DRIVER Kitchen","port":"DRIVER","queue":"Kitchen",)"
                         R"("action":"selftest")"),
              std::string::npos);
    // Without --wait a queue that took the job is a success of its own kind.
    EXPECT_NE(r.out.find(R"("ok":true,"kind":"spooled","stage":"close")"), std::string::npos)
        << r.out;
}

TEST(cli_commands_test, a_failed_open_says_the_windows_message_and_the_reason) {
    RecordingPosdll lib;
    lib.openResult = -1;
    lib.lastError = "parallel port LPT1 (/dev/lp0): No such file or directory";
    const CliResult r = run({"disable", "--port", "LPT1"}, lib);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "LPT1: failed: Fail to open port,please check! (parallel port LPT1 "
                     "(/dev/lp0): No such file or directory)\n");
    EXPECT_EQ(lib.calls, std::vector<std::string>{"open"}); // no close after a failed open
}

TEST(cli_commands_test, many_targets_each_get_the_frame_and_report_in_order) {
    ThreadedRecordingPosdll lib;
    lib.refuse = {"127.0.0.3", "127.0.0.7"};
    std::vector<std::string> args{"enable", "-j", "3"};
    std::string expected;
    for (int i = 1; i <= 9; ++i) {
        const std::string ip = "127.0.0." + std::to_string(i);
        args.insert(args.end(), {"--ip", ip});
        expected += "ETHERNET " + ip +
                    (lib.refuse.count(ip) ? ": failed: Fail to open port,please check! "
                                            "(connection refused)\n"
                                          : ": ok: Please Restart Printer First!\n");
    }
    const CliResult r = run(args, lib);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, expected);
    const auto written = lib.written();
    EXPECT_EQ(written.size(), 7u);
    for (const auto &[ip, bytes] : written)
        EXPECT_EQ(bytes, protocol::enableFrame()) << ip;
    EXPECT_EQ(r.err, ""); // no progress line when stderr is no terminal

    args.push_back("-q"); // only the failures, and the counts on the terminal
    const CliResult quiet = run(args, lib, {}, true);
    EXPECT_EQ(quiet.status, 1);
    EXPECT_EQ(quiet.out, "ETHERNET 127.0.0.3: failed: Fail to open port,please check! (connection "
                         "refused)\nETHERNET 127.0.0.7: failed: Fail to open port,please check! "
                         "(connection refused)\n");
    EXPECT_EQ(quiet.err, "9 printers: 7 ok, 2 failed\n"); // no progress line either
}

TEST(cli_commands_test, a_dumb_terminal_takes_no_escapes) {
    for (const auto &[terminal, term, takes] : {std::tuple{true, "xterm", true},
                                                {true, nullptr, true},
                                                {true, "dumb", false},
                                                {false, "xterm", false}})
        EXPECT_EQ(cli::takesEscapes(terminal, term), takes) << (term ? term : "unset");
}

TEST(cli_commands_test, overview_says_what_each_action_subcommand_is_followed_by) {
    const std::string overview = run({"--help"}).out;
    for (const char *line : {"  enable     enable the DIP switch            (then: Please Restart "
                             "Printer First!)\n",
                             "  restore    store the default setting        (then: Please Restart "
                             "Printer.)\n",
                             "  store      set all seven settings, defaults if not given   (then",
                             "  selftest   make the printer print its self-test\n",
                             "  ports      list the serial and parallel devices"})
        EXPECT_NE(overview.find(line), std::string::npos) << line << "\nin:\n" << overview;
    const std::string selftest = run({"selftest", "--help"}).out;
    EXPECT_NE(selftest.find("1F 1B 1F 93 10 11 12 15 16 17 10 00\nThe printer prints; no message"),
              std::string::npos)
        << selftest;
    EXPECT_NE(run({"restore", "--help"}).out.find("FD\nThen says: Please Restart Printer.\n"),
              std::string::npos);
    EXPECT_NE(run({"store", "--help"})
                  .out.find("\n\nSends the write-setting frame with all seven "
                            "settings: those not given take\ntheir defaults"),
              std::string::npos);
}
