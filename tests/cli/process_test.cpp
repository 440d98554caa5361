// posdip-cli as a process: its standard descriptors, output errors, signals, the open-file limit
// and endless input, with posdip-emulator and loopback listeners as printers.
#include "emulator/emulator_process.h"
#include "run_cli.h"
#include "support/full_backlog_listener.h"
#include "support/tcp_listener.h"

#include <gtest/gtest.h>

#include <sstream>

#include <unistd.h>

using cli_test::CliSetup;
using cli_test::runCliBinary;
using cli_test::SignalLater;
using cli_test::writeFile;
using testing_support::EmulatorProcess;
using testing_support::FullBacklogListener;
using testing_support::TcpListener;
using namespace std::chrono_literals;

namespace {

const TcpListener::Bytes kEnable = {0x1F, 0x1B, 0x1F, 0xC0, 0x15, 0x14,
                                    0x13, 0x12, 0x11, 0x10, 0xAA};

std::size_t countOf(const std::string &text, const std::string &what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// "--ip ADDRESS" n times.
std::vector<std::string> enableOn(const std::string &address, std::size_t n,
                                  std::vector<std::string> more = {}) {
    std::vector<std::string> args{"enable"};
    for (std::size_t i = 0; i < n; ++i)
        args.insert(args.end(), {"--ip", address});
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// The emulator's frame lines until it ends (it ends after --count frames).
std::size_t framesHeard(EmulatorProcess &emu) {
    return countOf(emu.restOfOutput(), "enable DIP switch");
}

} // namespace

TEST(cli_process_test, every_program_answers_help_and_version_without_a_display) {
    std::vector<std::string> programs = {POSDIP_CLI_PATH, POSDIP_EMULATOR};
#ifdef POSDIP_WINDOW
    programs.push_back(POSDIP_WINDOW);
#endif
    for (const std::string &program : programs) {
        const std::string name = program.substr(program.rfind('/') + 1);
        for (const std::string word : {"--help", "--version"}) {
            CliSetup setup{.program = program};
            setup.wrapper = {
                "env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM"};
            const auto run = runCliBinary({word}, setup);
            EXPECT_EQ(run.status, 0) << name << " " << word << ": " << run.err;
            if (word == "--version")
                EXPECT_EQ(run.out.rfind(name + " ", 0), 0u) << run.out;
            else
                EXPECT_NE(run.out.find("--version"), std::string::npos) << name << run.out;
        }
    }
}

TEST(cli_process_test, closed_standard_output_never_sends_results_to_a_printer) {
    TcpListener printer;
    CliSetup closed;
    closed.stdoutClosed = true;
    const auto one =
        runCliBinary({"enable", "--ip", "127.0.0.1:" + std::to_string(printer.port())}, closed);
    EXPECT_EQ(one.status, 0) << one.err;
    ASSERT_TRUE(printer.waitForSessions(1, 10s));
    EXPECT_EQ(printer.sessions()[0], kEnable);

    // Many printers at once: each hears its frame and nothing else.
    EmulatorProcess emu({"--listen", "127.0.0.1:0", "--count", "12"});
    const std::string address = emu.listeningAddress();
    ASSERT_FALSE(address.empty());
    const auto many = runCliBinary(enableOn(address, 12, {"-j", "12"}), closed);
    EXPECT_EQ(many.status, 0) << many.err;
    const std::string heard = emu.restOfOutput();
    EXPECT_EQ(countOf(heard, "\n"), 12u) << heard;
    EXPECT_EQ(countOf(heard, "enable DIP switch\n"), 12u) << heard;
}

TEST(cli_process_test, output_that_cannot_be_written_is_an_error) {
    TcpListener printer;
    CliSetup full;
    full.stdoutFile = "/dev/full";
    const auto sent =
        runCliBinary({"enable", "--ip", "127.0.0.1:" + std::to_string(printer.port())}, full);
    EXPECT_EQ(sent.status, 3);
    EXPECT_NE(sent.err.find("cannot write to standard output: No space left on device"),
              std::string::npos)
        << sent.err;
    EXPECT_NE(sent.err.find("1 result of 1 printer not shown"), std::string::npos) << sent.err;
    // Output written only at the end is checked as well.
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{"decode", "0xFD"}, {"--help"}, {"store", "--dry-run"}}) {
        const auto r = runCliBinary(args, full);
        EXPECT_EQ(r.status, 3) << args[0];
        EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err;
    }
}

TEST(cli_process_test, a_reader_that_goes_away_stops_the_batch_with_a_message) {
    constexpr std::size_t kPrinters = 400; // more than the ends that may overlap with -j 1
    EmulatorProcess emu({"--listen", "127.0.0.1:0"});
    const std::string address = emu.listeningAddress();
    ASSERT_FALSE(address.empty());
    CliSetup head;
    head.readerQuitsAfter = 1; // like "| head -c 1"
    const auto r = runCliBinary(enableOn(address, kPrinters, {"-j", "1"}), head);
    EXPECT_EQ(r.status, 3) << r.err; // not killed by SIGPIPE, not 0
    EXPECT_NE(r.err.find("cannot write to standard output: Broken pipe"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("not attempted"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(" 0 not attempted"), std::string::npos) << r.err;
}

TEST(cli_process_test, a_low_open_file_limit_serves_every_printer_in_turn) {
    constexpr std::size_t kPrinters = 150;
    EmulatorProcess emu({"--listen", "127.0.0.1:0", "--count", std::to_string(kPrinters)});
    const std::string address = emu.listeningAddress();
    ASSERT_FALSE(address.empty());
    CliSetup limited;
    limited.wrapper = {"prlimit", "--nofile=24:48"}; // the soft limit alone would leave 4 slots
    const auto r = runCliBinary(enableOn(address, kPrinters, {"-j", "1024"}), limited);
    EXPECT_EQ(r.status, 0) << r.out.substr(0, 2000) << r.err;
    EXPECT_EQ(countOf(r.out, ": ok: Please Restart Printer First!\n"), kPrinters);
    EXPECT_EQ(r.out.find("Too many open files"), std::string::npos);
    // The batch kept within its descriptors: no printer had to wait for one.
    EXPECT_EQ(r.err.find("out of file descriptors"), std::string::npos) << r.err;
    EXPECT_EQ(framesHeard(emu), kPrinters);
    EXPECT_EQ(emu.exitStatus(), 0);
}

// A process limit that leaves the program no thread, then only its signal watch, then the watch
// of the ends of documents and one worker. The limit counts the processes of a user and binds no
// root, so the program runs as nobody.
TEST(cli_process_test, threads_the_system_will_not_start_lose_no_result) {
    EmulatorProcess emu({"--listen", "127.0.0.1:0"});
    const std::string address = emu.listeningAddress();
    ASSERT_FALSE(address.empty());
    const std::string noThread = "cannot start a thread: Resource temporarily unavailable";
    struct Row {
        int threads;
        int status;
        std::size_t ok, failed;
        std::string says;
    } rows[] = {{1, 3, 0, 0,
                 "cannot start a thread to watch for signals: Resource temporarily "
                 "unavailable"},
                {2, 1, 0, 5, ""},
                {4, 0, 5, 0, ""}};
    for (const Row &r : rows) {
        CliSetup limited;
        limited.wrapper = {"prlimit", "--nproc=" + std::to_string(r.threads)};
        // The leak check needs a thread of its own at exit, which these limits refuse.
        limited.env = {"ASAN_OPTIONS=detect_leaks=0"};
        // The limit counts every thread of the user, so the run takes a user id of its own
        // (root is exempt from it).
        if (::geteuid() == 0)
            limited.wrapper.insert(limited.wrapper.end(),
                                   {"setpriv", "--reuid=64917", "--regid=64917", "--clear-groups"});
        const auto run = runCliBinary(enableOn(address, 5, {"-j", "64"}), limited);
        EXPECT_EQ(run.status, r.status) << r.threads << ": " << run.out << run.err;
        EXPECT_EQ(countOf(run.out, ": ok: "), r.ok) << run.out;
        EXPECT_EQ(countOf(run.out, noThread), r.failed) << run.out;
        EXPECT_NE(run.err.find(r.says), std::string::npos) << run.err;
    }
}

// The second printer never answers: it is in flight, for its connect bound (3 s, or 1 s when
// set), when the signal comes.
class CliSignalTest : public ::testing::Test {
  protected:
    void SetUp() override {
        address = emu.listeningAddress();
        ASSERT_FALSE(address.empty());
        args = {"enable", "-j", "1", "--ip", address, "--ip", silent.address()};
        for (int i = 0; i < 10; ++i)
            args.insert(args.end(), {"--ip", address});
    }
    EmulatorProcess emu{{"--listen", "127.0.0.1:0"}};
    FullBacklogListener silent;
    std::string address;
    std::vector<std::string> args;
    const std::string firstResult = "ETHERNET 127.0.0.1";
};

TEST_F(CliSignalTest, the_first_signal_finishes_the_printers_in_flight_and_reports_them) {
    for (const auto &[sig, status] : {std::pair{SIGTERM, 143}, std::pair{SIGINT, 130}}) {
        CliSetup setup;
        setup.signals = {SignalLater{sig, firstResult, 300ms}};
        std::vector<std::string> shortBound = args;
        shortBound.insert(shortBound.end(), {"--connect-timeout", "1"});
        const auto r = runCliBinary(shortBound, setup);
        EXPECT_EQ(r.status, status) << r.out << r.err;
        std::istringstream lines(r.out);
        std::string first, second;
        std::getline(lines, first);
        std::getline(lines, second);
        EXPECT_EQ(first, "ETHERNET " + address + ": ok: Please Restart Printer First!");
        EXPECT_EQ(second.rfind("ETHERNET " + silent.address() + ": failed: ", 0), 0u) << r.out;
        EXPECT_NE(second.find("no answer within 1 s"), std::string::npos) << second;
        std::size_t rest = 0; // a line for each target all the same
        for (std::string line; std::getline(lines, line); ++rest)
            EXPECT_EQ(line, "ETHERNET " + address + ": not attempted");
        EXPECT_EQ(rest, 10u) << r.out;
        EXPECT_NE(r.err.find("stopped: 10 printers of 12 not attempted"), std::string::npos)
            << r.err;
    }
}

TEST_F(CliSignalTest, a_second_signal_ends_the_program_at_once) {
    CliSetup setup;
    setup.signals = {SignalLater{SIGINT, firstResult, 300ms},
                     SignalLater{SIGINT, firstResult, 200ms}};
    const auto r = runCliBinary(args, setup);
    EXPECT_EQ(r.status, 130) << r.out << r.err;
    // The silent printer's bound had not passed: it was never reported.
    EXPECT_EQ(countOf(r.out, "\n"), 1u) << r.out;
    EXPECT_NE(r.err.find("stopped at once"), std::string::npos) << r.err;
}

TEST(cli_process_test, endless_target_input_is_refused) {
    const auto zeros = runCliBinary({"enable", "--targets", "/dev/zero"});
    EXPECT_EQ(zeros.status, 2);
    EXPECT_NE(zeros.err.find("/dev/zero:1: a line longer than 4096 bytes"), std::string::npos)
        << zeros.err;

    CliSetup endless;
    std::string lines;
    while (lines.size() <= (17u << 20))
        lines += "ETHERNET 127.0.0.1:9\n";
    endless.input = lines;
    const auto r = runCliBinary({"enable", "--targets", "-", "--dry-run"}, endless);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("more than 16 MiB of printers"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
}

TEST(cli_process_test, names_with_control_characters_are_escaped_on_a_terminal) {
    // A queue name cannot hold control characters; the refusal shows the line escaped.
    const std::string list = writeFile("posdip_cli_escape.txt", "\xEF\xBB\xBF"
                                                                "DRIVER Bar\x1B]0;owned\x07\n");
    CliSetup terminal;
    terminal.stdoutIsTerminal = true;
    const auto shown = runCliBinary({"enable", "--dry-run", "--targets", list}, terminal);
    EXPECT_EQ(shown.status, 2) << shown.err;
    EXPECT_NE(shown.err.find(":1: 'Bar\\x1B]0;owned\\x07': not a queue name"), std::string::npos)
        << shown.err;
    EXPECT_EQ(shown.err.find('\x1B'), std::string::npos);
    // A bad line's text is escaped in the message wherever it goes.
    const std::string bad = writeFile("posdip_cli_bad_escape.txt", "LPT1 \x1B[2J\n");
    const auto refused = runCliBinary({"enable", "--targets", bad});
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("found '\\x1B[2J'"), std::string::npos) << refused.err;
}
