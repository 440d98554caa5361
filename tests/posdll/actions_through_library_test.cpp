// The outcome the user gets: the setting actions through the real device library and real peers.
#include "app/actions.h"
#include "app/message.h"
#include "device/PosdllFuncs.h"
#include "device/status_query.h"
#include "document.h"
#include "protocol/frame_decode.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <future>
#include <sys/stat.h>
#include <termios.h>

using namespace testing_support;
using app::Action;
using app::MessageIcon;
using app::MessageKind;

namespace {

app::ActionInputs on(std::string port, std::string ip = "", std::string baud = "19200") {
    app::ActionInputs in;
    in.port = {std::move(port), std::move(ip), std::move(baud), ""};
    return in;
}

app::Message run(Action action, const app::ActionInputs &in) {
    return app::messageFor(action, app::runAction(action, in, device::libraryPosdll()));
}

void expectError(const app::Message &out, const char *text, const std::string &detail) {
    EXPECT_EQ(out.kind, MessageKind::Box);
    EXPECT_EQ(out.title, "error");
    EXPECT_EQ(out.icon, MessageIcon::Error);
    EXPECT_EQ(out.text, text);
    EXPECT_NE(out.detail.find(detail), std::string::npos) << out.detail;
}

void expectNoPortOpen() {
    EXPECT_EQ(POS_Close(), -1) << "a port was left open";
}

} // namespace

TEST(actions_through_library_test, store_setting_reaches_a_network_printer) {
    Listener l;
    ASSERT_TRUE(l.ok());
    auto got = std::async(std::launch::async, [&l] {
        Fd c = l.accept();
        return readUntilEof(c.get());
    });
    app::ActionInputs in = on("ETHERNET", l.address());
    in.choices.cutter = !in.choices.cutter; // the other choice of the first group
    const app::Message out = run(Action::StoreSetting, in);
    EXPECT_EQ(out.title, "info");
    EXPECT_EQ(out.text, "Please Restart Printer.");
    const Bytes sent = got.get();
    EXPECT_EQ(sent, bytesOf(app::frameFor(Action::StoreSetting, in.choices)));
    EXPECT_NE(sent, bytesOf(app::frameFor(Action::RestoreDefault, in.choices)));
    expectNoPortOpen();
}

TEST(actions_through_library_test, enable_dip_reaches_a_serial_printer_at_the_chosen_rate) {
    Pty pty;
    ASSERT_FALSE(pty.path.empty());
    ScopedEnv env("POSDLL_PORT_COM3", pty.path);
    const app::Message out = run(Action::EnableDip, on("COM3", "", "38400"));
    EXPECT_EQ(out.title, "info");
    EXPECT_EQ(out.text, "Please Restart Printer First!");
    EXPECT_EQ(readCount(pty.master.get(), 11), bytesOf(protocol::enableFrame()));
    termios t;
    ASSERT_EQ(::tcgetattr(pty.slave.get(), &t), 0);
    EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B38400));
    expectNoPortOpen();
}

TEST(actions_through_library_test, self_test_reaches_a_parallel_printer_and_shows_nothing) {
    TempDir dir;
    const std::string file = dir.file("lp");
    Fd(::open(file.c_str(), O_CREAT | O_WRONLY, 0644));
    ScopedEnv env("POSDLL_PORT_LPT1", file);
    ScopedEnv allowFiles("POSDLL_ALLOW_FILES", "1");
    const app::Message out = run(Action::PrintSelfTest, on("LPT1"));
    EXPECT_EQ(out.kind, MessageKind::Silent);
    Fd in(::open(file.c_str(), O_RDONLY));
    EXPECT_EQ(readUntilEof(in.get()), bytesOf(protocol::selfTestFrame()));
    expectNoPortOpen();
}

TEST(actions_through_library_test, missing_parallel_device_is_an_open_failure_with_the_reason) {
    TempDir dir;
    const std::string file = dir.file("lp");
    ScopedEnv env("POSDLL_PORT_LPT1", file);
    expectError(run(Action::RestoreDefault, on("LPT1")), app::kOpenFailed,
                "parallel port LPT1 (" + file + "): No such file or directory");
}

// A printer that answers each status request with one byte, but also sends bytes nobody asked
// for: one on connect, or one behind its first answer. No condition may be read from them.
TEST(actions_through_library_test, status_bytes_are_credited_only_to_the_request_they_answer) {
    const struct {
        const char *what;
        Bytes onConnect;
        std::array<Bytes, 4> answers;
        bool answered;
        const char *says; // the bytes read, or what the failure names
    } rows[] = {
        {"stray byte on connect", {0x12}, {{{0x12}, {0x12}, {0x12}, {0x7E}}}, true, "12 12 12 7E"},
        {"extra byte after the first answer",
         {},
         {{{0x12, 0x7E}, {0x12}, {0x12}, {0x12}}},
         false,
         "12 7E to DLE EOT 1"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        Listener l;
        ASSERT_TRUE(l.ok());
        std::promise<void> greeted;
        auto printer = std::async(std::launch::async, [&] {
            Fd c = l.accept();
            [[maybe_unused]] ssize_t n =
                ::write(c.get(), row.onConnect.data(), row.onConnect.size());
            greeted.set_value();
            for (const Bytes &answer : row.answers)
                if (readCount(c.get(), 3).size() == 3)
                    n = ::write(c.get(), answer.data(), answer.size());
            readUntilEof(c.get());
        });
        device::PosdllFuncs &lib = device::libraryPosdll();
        const device::OpenResult port = device::OpenPort(lib, on("ETHERNET", l.address()).port);
        ASSERT_TRUE(port.opened()) << port.reason;
        greeted.get_future().wait(); // on loopback the byte is here once it is written
        const device::StatusReading r = device::readStatus(lib, port.handle, 2000);
        device::ClosePort(lib);
        printer.get();
        EXPECT_EQ(r.answered, row.answered) << r.reason;
        if (row.answered) {
            EXPECT_EQ(protocol::toHex(r.bytes.data(), r.bytes.size()), row.says);
            EXPECT_FALSE(r.summary.ready) << "the paper end answered the fourth request";
        } else {
            EXPECT_EQ(r.kind, device::FailKind::Internal);
            EXPECT_NE(r.reason.find(row.says), std::string::npos) << r.reason;
            EXPECT_NE(r.reason.find("not a status answer"), std::string::npos) << r.reason;
        }
    }
}

// A FIFO or /dev/null standing in for a parallel printer takes bytes and says nothing back.
TEST(actions_through_library_test, verify_on_a_port_that_cannot_answer_refuses_at_once) {
    TempDir dir;
    const std::string fifo = dir.file("lp.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const Fd reader(::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    ScopedEnv allowFiles("POSDLL_ALLOW_FILES", "1");
    for (const std::string &path : {fifo, std::string("/dev/null")}) {
        SCOPED_TRACE(path);
        ScopedEnv env("POSDLL_PORT_LPT1", path);
        app::ActionInputs in = on("LPT1");
        in.verify = true;
        in.statusWaitMillis = 10000;
        const auto started = std::chrono::steady_clock::now();
        const app::Result result =
            app::runAction(Action::StoreSetting, in, device::libraryPosdll());
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
        EXPECT_EQ(result.kind, device::FailKind::CannotVerify);
        EXPECT_EQ(result.stage, device::Stage::Status);
        const app::Message out = app::messageFor(Action::StoreSetting, result);
        expectError(out, app::kCannotVerify, "this port cannot report the printer's status");
        EXPECT_NE(out.detail.find("nothing was sent"), std::string::npos) << out.detail;
        expectNoPortOpen();
    }
    EXPECT_TRUE(readCount(reader.get(), 1, milliseconds(100)).empty()) << "bytes reached the FIFO";
}
