// The outcome the user gets: the setting actions through the real device library and real peers.
#include "app/actions.h"
#include "app/message.h"
#include "device/PosdllFuncs.h"
#include "document.h"

#include <gtest/gtest.h>

#include <future>
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
    in.options[0] = !in.options[0]; // the other choice of the first group
    in.options[1] = !in.options[1];
    const app::Message out = run(Action::StoreSetting, in);
    EXPECT_EQ(out.title, "info");
    EXPECT_EQ(out.text, "Please Restart Printer.");
    const Bytes sent = got.get();
    EXPECT_EQ(sent, bytesOf(app::frameFor(Action::StoreSetting, in.options)));
    EXPECT_NE(sent, bytesOf(app::frameFor(Action::RestoreDefault, in.options)));
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
