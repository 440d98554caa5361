// posdip-cli status, scan and --verify against posdip-emulator and listeners that are not
// printers, on loopback addresses only.
#include "emulator/emulator_process.h"
#include "run_cli.h"
#include "support/full_backlog_listener.h"
#include "support/posix_peers.h"
#include "support/tcp_listener.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>

using cli_test::CliSetup;
using cli_test::runCliBinary;
using testing_support::EmulatorProcess;
using testing_support::Fd;

namespace {

bool has(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

// A service that answers what it is sent with a line of text: not a printer.
class ChattyListener {
  public:
    explicit ChattyListener(const std::string &host, int port = 0) : m_listener(host, 8, port) {
        if (!m_listener.ok())
            throw std::runtime_error("chatty listener on " + host + ": " + std::strerror(errno));
        m_thread = std::thread([this] {
            for (;;) {
                const Fd c(::accept4(m_listener.fd(), nullptr, nullptr, SOCK_CLOEXEC));
                if (!c)
                    return; // shut down
                // Answers whatever it is sent with text, until the other side is done.
                char buf[64];
                while (::read(c.get(), buf, sizeof buf) > 0) {
                    const char reply[] = "HTTP/1.0 400 Bad Request\r\n";
                    [[maybe_unused]] const ssize_t n = ::write(c.get(), reply, sizeof reply - 1);
                }
            }
        });
    }
    ~ChattyListener() {
        ::shutdown(m_listener.fd(), SHUT_RDWR);
        m_thread.join();
    }
    int port() const { return m_listener.port(); }

  private:
    testing_support::Listener m_listener;
    std::thread m_thread;
};

// "127.0.0.1:PORT" of the running emulator, and its port alone.
int portOf(const std::string &address) {
    return std::stoi(address.substr(address.rfind(':') + 1));
}

} // namespace

TEST(cli_status_test, every_condition_of_the_emulator_is_read_back) {
    for (const char *paper : {"ok", "near-end", "out"})
        for (const char *cover : {"closed", "open"})
            for (bool offline : {false, true}) {
                std::vector<std::string> args = {"--listen", "127.0.0.1:0", "--paper",
                                                 paper,      "--cover",     cover};
                if (offline)
                    args.push_back("--offline");
                EmulatorProcess emu(args);
                const std::string address = emu.listeningAddress();
                ASSERT_FALSE(address.empty());
                const auto run = runCliBinary({"status", "--json", "--ip", address});
                const std::string what = std::string(paper) + "/" + cover + "/" +
                                         (offline ? "offline" : "online") + ": " + run.out +
                                         run.err;
                const bool coverOpen = std::string(cover) == "open";
                const bool out = std::string(paper) == "out";
                const bool ready = !out && !coverOpen && !offline;
                EXPECT_EQ(run.status, ready ? 0 : 1) << what;
                EXPECT_TRUE(has(run.out, std::string("\"ready\":") + (ready ? "true" : "false")))
                    << what;
                EXPECT_TRUE(has(run.out, std::string("\"paper\":\"") + paper + "\"")) << what;
                EXPECT_TRUE(
                    has(run.out, std::string("\"cover_open\":") + (coverOpen ? "true" : "false")))
                    << what;
                // An open cover or no paper takes the printer off-line as well.
                EXPECT_TRUE(has(run.out, std::string("\"offline\":") +
                                             (offline || coverOpen || out ? "true" : "false")))
                    << what;
                EXPECT_TRUE(has(run.out, ready ? "\"kind\":\"ok\"" : "\"kind\":\"not-ready\""))
                    << what;
                // Near end concerns, but does not stop, the printer.
                EXPECT_EQ(has(run.out, "paper near end"), std::string(paper) == "near-end") << what;
            }
}

TEST(cli_status_test, text_lines_name_the_conditions) {
    EmulatorProcess emu({"--listen", "127.0.0.1:0", "--cover", "open", "--paper", "out"});
    const std::string address = emu.listeningAddress();
    const auto run = runCliBinary({"status", "--ip", address});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "ETHERNET " + address + ": not ready: cover open, paper end\n");
}

TEST(cli_status_test, what_is_no_printer_is_a_failure_with_its_kind) {
    testing_support::TcpListener silent; // accepts, reads, never answers
    ChattyListener chatty("127.0.0.1");
    EmulatorProcess mute({"--listen", "127.0.0.1:0", "--fault", "silent"});
    const std::string muteAddress = mute.listeningAddress();
    const struct {
        std::string address;
        const char *kind;
        const char *reason;
    } rows[] = {
        {"127.0.0.1:" + std::to_string(silent.port()), "timeout", "no answer to DLE EOT 1"},
        {"127.0.0.1:" + std::to_string(chatty.port()), "internal", "is not a status answer"},
        {muteAddress, "timeout", "no answer to DLE EOT 1"},
    };
    for (const auto &row : rows) {
        const auto run =
            runCliBinary({"status", "--json", "--status-timeout", "0.5", "--ip", row.address});
        EXPECT_EQ(run.status, 1) << row.address << ": " << run.out << run.err;
        EXPECT_TRUE(has(run.out, std::string("\"kind\":\"") + row.kind + "\""))
            << row.address << ": " << run.out;
        EXPECT_TRUE(has(run.out, "\"stage\":\"status\"")) << run.out;
        EXPECT_TRUE(has(run.out, row.reason)) << run.out;
        EXPECT_FALSE(has(run.out, "\"status\":{")) << "no status without an answer: " << run.out;
    }
}

TEST(cli_status_test, the_status_wait_is_honoured) {
    testing_support::TcpListener silent;
    const auto started = std::chrono::steady_clock::now();
    const auto run = runCliBinary({"status", "--status-timeout", "1.5", "--ip",
                                   "127.0.0.1:" + std::to_string(silent.port())});
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(has(run.out, "within 1500 ms")) << run.out;
    EXPECT_GE(took, std::chrono::milliseconds(1400));
    EXPECT_LT(took, std::chrono::seconds(20)); // the default wait is far shorter than this
}

TEST(cli_status_test, the_connect_timeout_is_honoured_both_ways) {
    testing_support::FullBacklogListener unanswering; // a connect gets no answer at all
    for (const auto &[seconds, shown, atLeast] :
         {std::tuple{"0.5", "500 ms", 400}, std::tuple{"3.5", "3500 ms", 3400}}) {
        const auto started = std::chrono::steady_clock::now();
        const auto run = runCliBinary(
            {"status", "--json", "--connect-timeout", seconds, "--ip", unanswering.address()});
        const auto took = std::chrono::steady_clock::now() - started;
        EXPECT_TRUE(has(run.out, "\"kind\":\"timeout\",\"stage\":\"open\"")) << run.out;
        EXPECT_TRUE(has(run.out, std::string("no answer within ") + shown)) << run.out;
        // Longer than asked, not the 3 s default, and not much longer either.
        EXPECT_GE(took, std::chrono::milliseconds(atLeast)) << seconds;
        EXPECT_LT(took, std::chrono::seconds(30)) << seconds;
    }
}

TEST(cli_status_test, refused_and_reset_connections_have_their_kinds) {
    const testing_support::ClosedPort closed;
    EmulatorProcess resetting({"--listen", "127.0.0.1:0", "--fault", "reset"});
    const auto refused = runCliBinary({"status", "--json", "--ip", closed.address()});
    EXPECT_TRUE(has(refused.out, "\"kind\":\"refused\",\"stage\":\"open\"")) << refused.out;
    EXPECT_TRUE(has(refused.out, "\"errno\":" + std::to_string(ECONNREFUSED))) << refused.out;
    const auto reset = runCliBinary({"status", "--json", "--ip", resetting.listeningAddress()});
    EXPECT_TRUE(has(reset.out, "\"kind\":\"reset\"")) << reset.out;
    EXPECT_TRUE(has(reset.out, "\"errno\":" + std::to_string(ECONNRESET))) << reset.out;
}

TEST(cli_status_test, serial_ports_missing_busy_or_no_device_have_their_kinds) {
    testing_support::TempDir dir;
    const std::string link = dir.file("ttyPOS");
    EmulatorProcess emu({"--pty", link, "--paper", "near-end"});
    ASSERT_TRUE(has(emu.statusLine(), "linked at " + link));
    const std::string plain = dir.file("plain");
    { std::ofstream(plain) << "x"; }
    CliSetup setup;
    setup.env = {"POSDLL_PORT_COM4=" + link, "POSDLL_PORT_COM5=" + dir.file("none"),
                 "POSDLL_PORT_COM6=" + plain, "POSDLL_ALLOW_FILES=1"};
    const auto ok = runCliBinary({"status", "--port", "COM4"}, setup);
    EXPECT_EQ(ok.status, 0) << ok.out << ok.err;
    EXPECT_EQ(ok.out, "COM4: ready: paper near end\n");

    const auto missing = runCliBinary({"status", "--json", "--port", "COM5"}, setup);
    EXPECT_TRUE(has(missing.out, "\"kind\":\"missing\"")) << missing.out;
    EXPECT_TRUE(has(missing.out, "\"errno\":" + std::to_string(ENOENT))) << missing.out;
    const auto file = runCliBinary({"status", "--json", "--port", "COM6"}, setup);
    EXPECT_TRUE(has(file.out, "\"kind\":\"not-a-device\"")) << file.out;
    EXPECT_FALSE(has(file.out, "\"errno\"")) << "a refusal of our own has no errno: " << file.out;

    const int held = ::open(link.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    const auto busy = runCliBinary({"status", "--json", "--port", "COM4"}, setup);
    ::close(held);
    EXPECT_TRUE(has(busy.out, "\"kind\":\"busy\"")) << busy.out;
}

TEST(cli_status_test, verify_sends_nothing_to_a_printer_that_is_not_ready) {
    EmulatorProcess open({"--listen", "127.0.0.1:0", "--cover", "open"});
    const auto refused =
        runCliBinary({"restore", "--verify", "--json", "--ip", open.listeningAddress()});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(has(refused.out, "\"kind\":\"not-ready\",\"stage\":\"status\"")) << refused.out;
    EXPECT_TRUE(has(refused.out, "nothing was sent")) << refused.out;

    EmulatorProcess ready({"--listen", "127.0.0.1:0"});
    const auto sent = runCliBinary({"restore", "--verify", "--ip", ready.listeningAddress()});
    EXPECT_EQ(sent.status, 0) << sent.out << sent.err;
    // The four status requests come first, then the frame.
    std::string heard;
    for (int i = 0; i < 5 && !has(heard, "store setting 0xFD"); ++i)
        heard = ready.frameLine();
    EXPECT_TRUE(has(heard, "store setting 0xFD")) << heard;
}

TEST(cli_scan_test, finds_exactly_the_printers_among_loopback_addresses) {
    EmulatorProcess first({"--listen", "127.0.0.2:0"});
    const int port = portOf(first.listeningAddress());
    ASSERT_GT(port, 0);
    const std::string p = std::to_string(port);
    EmulatorProcess second({"--listen", "127.0.0.5:" + p, "--cover", "open"});
    ASSERT_FALSE(second.listeningAddress().empty());
    ChattyListener chatty("127.0.0.3", port);
    EmulatorProcess mute({"--listen", "127.0.0.4:" + p, "--fault", "silent"});
    ASSERT_FALSE(mute.listeningAddress().empty());

    const auto run = runCliBinary(
        {"scan", "127.0.0.0/29", "--port-number", p, "--status-timeout", "0.5", "-j", "8"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "ETHERNET 127.0.0.2:" + p + "\nETHERNET 127.0.0.5:" + p + "\n");

    // The lines are a targets file: status reads both back.
    CliSetup setup;
    setup.input = run.out;
    const auto status = runCliBinary({"status", "--targets", "-"}, setup);
    EXPECT_EQ(status.status, 1);
    EXPECT_EQ(status.out, "ETHERNET 127.0.0.2:" + p + ": ready\nETHERNET 127.0.0.5:" + p +
                              ": not ready: cover open\n");
}

TEST(cli_scan_test, json_gives_the_status_and_no_printer_exits_1) {
    EmulatorProcess emu({"--listen", "127.0.0.6:0", "--paper", "near-end"});
    const std::string p = std::to_string(portOf(emu.listeningAddress()));
    const auto run = runCliBinary({"scan", "127.0.0.6/32", "--json", "--port-number", p});
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(
        has(run.out, "\"target\":\"ETHERNET 127.0.0.6:" + p +
                         "\",\"port\":\"ETHERNET\",\"address\":\"127.0.0.6\",\"tcp_port\":" + p +
                         ",\"action\":\"scan\""))
        << run.out;
    EXPECT_TRUE(has(run.out, "\"paper\":\"near-end\"")) << run.out;
    const auto none = runCliBinary({"scan", "127.0.0.8/30", "--port-number", p});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.out, "");
}
