#include "app/actions.h"
#include "app/message.h"

#include "support/recording_posdll.h"

#include <gtest/gtest.h>

using app::Action;
using app::MessageIcon;
using app::MessageKind;
using testing_support::RecordingPosdll;

namespace {

app::ActionInputs onPort(std::string port) {
    app::ActionInputs in;
    in.port = {std::move(port), "127.0.0.1", "19200", "Kitchen"};
    return in;
}

} // namespace

TEST(actions_test, each_action_sends_its_frame_and_says_its_message) {
    struct Row {
        Action action;
        protocol::Frame frame;
        const char *message; // nullptr: nothing shown
    } rows[] = {
        {Action::EnableDip, protocol::enableFrame(), "Please Restart Printer First!"},
        {Action::DisableDip, protocol::disableFrame(), "Please Restart Printer First!"},
        {Action::RestoreDefault, protocol::writeSettingFrame(0xFD), "Please Restart Printer."},
        {Action::StoreSetting, protocol::writeSettingFrame(0xFD), "Please Restart Printer."},
        {Action::PrintSelfTest, protocol::selfTestFrame(), nullptr},
    };
    for (const Row &r : rows) {
        RecordingPosdll lib;
        const app::Result result = app::runAction(r.action, onPort("ETHERNET"), lib);
        const app::Message out = app::messageFor(r.action, result);
        ASSERT_EQ(lib.writes.size(), 1u) << app::actionName(r.action);
        EXPECT_EQ(lib.writes[0], r.frame);
        EXPECT_EQ(lib.calls.back(), "close");
        EXPECT_EQ(lib.docName, std::string("posdip: ") + app::actionName(r.action));
        if (r.message) {
            EXPECT_EQ(out.kind, MessageKind::Box);
            EXPECT_EQ(out.title, "info");
            EXPECT_EQ(out.icon, MessageIcon::Information);
            EXPECT_EQ(out.text, r.message);
            EXPECT_TRUE(out.detail.empty());
        } else {
            EXPECT_EQ(out.kind, MessageKind::Silent);
        }
        EXPECT_TRUE(result.succeeded());
        EXPECT_EQ(result.written, static_cast<int>(r.frame.size()));
    }
}

TEST(actions_test, store_reads_the_options_restore_ignores_them) {
    app::ActionInputs in = onPort("COM3");
    in.choices.baud = protocol::Baud::Rate9600;
    RecordingPosdll lib;
    app::runAction(Action::StoreSetting, in, lib);
    app::runAction(Action::RestoreDefault, in, lib);
    ASSERT_EQ(lib.writes.size(), 2u);
    EXPECT_EQ(lib.writes[0].back(), 0xBD);
    EXPECT_EQ(lib.writes[1].back(), 0xFD);
    EXPECT_EQ(lib.opens[0].baud, 19200);
}

TEST(actions_test, open_failure_is_an_error_with_the_reason_and_nothing_else) {
    RecordingPosdll lib;
    lib.openResult = -1;
    lib.lastError = "127.0.0.1:9100: Connection refused";
    for (Action a : {Action::EnableDip, Action::PrintSelfTest, Action::StoreSetting}) {
        lib.calls.clear();
        const auto out = app::messageFor(a, app::runAction(a, onPort("ETHERNET"), lib));
        EXPECT_EQ(out.kind, MessageKind::Box);
        EXPECT_EQ(out.title, "error");
        EXPECT_EQ(out.icon, MessageIcon::Error);
        EXPECT_EQ(out.text, "Fail to open port,please check!");
        EXPECT_EQ(out.detail, lib.lastError);
        EXPECT_EQ(lib.calls, std::vector<std::string>{"open"});
    }
}

TEST(actions_test, unknown_port_kind_is_an_open_failure_not_a_success) {
    RecordingPosdll lib;
    const auto out =
        app::messageFor(Action::EnableDip, app::runAction(Action::EnableDip, onPort("com1"), lib));
    EXPECT_EQ(out.text, "Fail to open port,please check!");
    EXPECT_EQ(out.title, "error");
    EXPECT_NE(out.detail.find("'com1'"), std::string::npos);
    EXPECT_TRUE(lib.calls.empty());
}

TEST(actions_test, failed_write_is_reported_even_for_the_selftest) {
    RecordingPosdll lib;
    lib.writeResult = -1;
    lib.lastError = "127.0.0.1:9100: Broken pipe";
    for (Action a : {Action::PrintSelfTest, Action::RestoreDefault}) {
        const app::Result result = app::runAction(a, onPort("ETHERNET"), lib);
        const auto out = app::messageFor(a, result);
        EXPECT_EQ(out.kind, MessageKind::Box);
        EXPECT_EQ(out.title, "error");
        EXPECT_EQ(out.text, "Fail to write to port,please check!");
        EXPECT_EQ(out.detail, "write failed: 127.0.0.1:9100: Broken pipe");
        EXPECT_FALSE(result.succeeded());
        EXPECT_EQ(result.written, 0);
    }
}

TEST(actions_test, close_quits_and_touches_no_port) {
    RecordingPosdll lib;
    EXPECT_EQ(
        app::messageFor(Action::Close, app::runAction(Action::Close, onPort("ETHERNET"), lib)).kind,
        MessageKind::Quit);
    EXPECT_TRUE(lib.calls.empty());
}

// The library keeps the delivery wait per thread, so every action sets its own: one without a
// wait after one with it must not wait.
TEST(actions_test, queue_success_is_only_spooled_unless_delivery_was_waited_for) {
    struct Row {
        const char *port;
        int waitMillis;
        int endDocResult;
        bool spooled;
    } rows[] = {
        {"DRIVER", 0, 0, true},      {"DRIVER", 5000, 0, false}, {"DRIVER", 0, -1, false},
        {"DRIVER", 5000, -1, false}, {"ETHERNET", 0, 0, false},  {"COM1", 0, 0, false},
    };
    RecordingPosdll lib; // one library for all rows, as one thread's
    for (const Row &r : rows) {
        SCOPED_TRACE(std::string(r.port) + " wait " + std::to_string(r.waitMillis));
        app::ActionInputs in = onPort(r.port);
        in.deliveryWaitMillis = r.waitMillis;
        lib.endDocResult = r.endDocResult;
        const auto out = app::runAction(Action::StoreSetting, in, lib);
        EXPECT_EQ(lib.deliveryWait, r.waitMillis);
        EXPECT_EQ(out.succeeded(), r.endDocResult == 0);
        EXPECT_EQ(out.kind == device::FailKind::Spooled, r.spooled);
    }
}
