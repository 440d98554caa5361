#include "device/port_access.h"

#include "support/recording_posdll.h"

#include <gtest/gtest.h>

#include <cerrno>

using device::OpenPort;
using device::PortInputs;
using testing_support::RecordedOpen;
using testing_support::RecordingPosdll;

namespace {

PortInputs inputs(std::string port) {
    return PortInputs{std::move(port), "127.0.0.1:9100", "19200", "Kitchen"};
}

} // namespace

TEST(port_access_test, argument_table_for_every_kind) {
    struct Row {
        PortInputs in;
        RecordedOpen expected;
    } rows[] = {
        {inputs("ETHERNET"), {"127.0.0.1:9100", 0, 0, 0, 0, 21}},
        {inputs("COM2"), {"COM2", 19200, 8, 0, 0, 1}},
        {{"COM1", "x", "115200", ""}, {"COM1", 115200, 8, 0, 0, 1}},
        {inputs("COM12"), {"COM12", 19200, 8, 0, 0, 1}},
        {inputs("LPT1"), {"LPT1", 0, 0, 0, 0, 18}},
        {inputs("DRIVER"), {"Kitchen", 0, 0, 0, 0, 20}},
    };
    for (const Row &r : rows) {
        RecordingPosdll lib;
        const auto res = OpenPort(lib, r.in);
        EXPECT_TRUE(res.opened()) << r.in.portName;
        EXPECT_EQ(res.handle, 7);
        ASSERT_EQ(lib.opens.size(), 1u) << r.in.portName;
        EXPECT_EQ(lib.opens[0], r.expected) << r.in.portName;
    }
}

TEST(port_access_test, ip_text_is_passed_as_typed) {
    for (const char *ip : {"", "not an address", " 10.0.0.1 "}) {
        RecordingPosdll lib;
        OpenPort(lib, PortInputs{"ETHERNET", ip, "19200", ""});
        ASSERT_EQ(lib.opens.size(), 1u);
        EXPECT_EQ(lib.opens[0].name, ip);
    }
}

TEST(port_access_test, unknown_kind_makes_no_call_and_fails) {
    for (const char *name : {"com1", "USB001", "", "ET"}) {
        RecordingPosdll lib;
        const auto res = OpenPort(lib, inputs(name));
        EXPECT_FALSE(res.opened()) << name;
        EXPECT_TRUE(lib.calls.empty());
        EXPECT_NE(res.reason.find("is not one of ETHERNET, COMn, LPTn, DRIVER"), std::string::npos)
            << res.reason;
        EXPECT_NE(res.reason.find(std::string("'") + name + "'"), std::string::npos);
    }
}

TEST(port_access_test, refusals_before_the_library) {
    RecordingPosdll lib;
    EXPECT_FALSE(OpenPort(lib, PortInputs{"COM1", "", "fast", ""}).opened());
    EXPECT_FALSE(OpenPort(lib, PortInputs{"DRIVER", "", "", ""}).opened());
    const auto nul = OpenPort(lib, PortInputs{"ETHERNET", std::string("1.2.3.4\0x", 9), "", ""});
    EXPECT_FALSE(nul.opened());
    EXPECT_NE(nul.reason.find("NUL"), std::string::npos);
    EXPECT_TRUE(lib.calls.empty());
}

TEST(port_access_test, typed_text_in_a_refusal_is_escaped) {
    RecordingPosdll lib;
    const std::string clear = "\x1b[2J";
    EXPECT_EQ(OpenPort(lib, PortInputs{"ETHERNET", clear + std::string("\0x", 2), "", ""}).reason,
              "the name '\\x1B[2J'... contains a NUL character");
    EXPECT_EQ(OpenPort(lib, PortInputs{"COM1", "", clear, ""}).reason,
              "baud rate '\\x1B[2J' is not a number");
    EXPECT_EQ(OpenPort(lib, PortInputs{"X" + clear, "", "", ""}).reason,
              "port name 'X\\x1B[2J' is not one of ETHERNET, COMn, LPTn, DRIVER");
    EXPECT_TRUE(lib.calls.empty());
}

TEST(port_access_test, handle_zero_is_open_and_minus_one_is_not) {
    RecordingPosdll lib;
    lib.openResult = 0;
    EXPECT_TRUE(OpenPort(lib, inputs("LPT1")).opened());
    lib.openResult = -1;
    lib.lastError = "LPT1 (/dev/lp0): No such file or directory";
    const auto res = OpenPort(lib, inputs("LPT1"));
    EXPECT_FALSE(res.opened());
    EXPECT_EQ(res.reason, lib.lastError);
}

TEST(port_access_test, transaction_runs_every_step_in_order) {
    RecordingPosdll lib;
    const protocol::Frame frame = protocol::selfTestFrame();
    const auto w = device::writeTransaction(lib, 5, frame, "posdip: Print Selftest");
    EXPECT_TRUE(w.ok);
    EXPECT_EQ(lib.calls, (std::vector<std::string>{"docname", "start", "write", "end", "close"}));
    ASSERT_EQ(lib.writes.size(), 1u);
    EXPECT_EQ(lib.writes[0], frame);
    EXPECT_EQ(lib.writeHandles[0], 5);
    EXPECT_EQ(lib.docName, "posdip: Print Selftest");
}

TEST(port_access_test, failed_or_short_write_is_reported_and_the_port_still_closed) {
    struct Case {
        int start, write, end, close;
        const char *reasonStart;
        int error; // the library's errno, carried with the failure that counts
    } cases[] = {
        {0, -1, 0, 0, "write failed: boom", EPIPE},
        {0, 4, 0, 0, "only 4 of 11 bytes were written", 0},
        {-1, -1, -1, 0, "start of document failed: boom", EPIPE},
        {0, -2, -1, 0, "end of document failed: boom", EPIPE},
        {0, -2, 0, -1, "close failed: boom", EPIPE},
    };
    for (const Case &c : cases) {
        RecordingPosdll lib;
        lib.startDocResult = c.start;
        lib.writeResult = c.write;
        lib.endDocResult = c.end;
        lib.closeResult = c.close;
        lib.lastError = "boom";
        lib.lastErrno = EPIPE;
        const auto w = device::writeTransaction(lib, 7, protocol::enableFrame(), "t");
        EXPECT_FALSE(w.ok);
        EXPECT_EQ(w.reason, c.reasonStart);
        EXPECT_EQ(w.error, c.error) << c.reasonStart;
        EXPECT_EQ(lib.calls.back(), "close") << c.reasonStart;
        EXPECT_EQ(lib.calls.size(), 5u);
    }
}
