#include "posdll/serial_line.h"

#include <gtest/gtest.h>

using posdll::lineMismatch;
using posdll::rawLine;
using posdll::SerialLine;

namespace {

termios cooked() { // as a terminal starts: canonical, echo, XON/XOFF, CR mapping, RTS/CTS
    termios t{};
    t.c_iflag = ICRNL | IXON | IXOFF | IXANY;
    t.c_oflag = OPOST | ONLCR;
    t.c_cflag = CS7 | PARENB | CRTSCTS | HUPCL;
    t.c_lflag = ICANON | ECHO | ISIG | IEXTEN;
    return t;
}

} // namespace

TEST(serial_line_test, every_line_is_raw_without_flow_control) {
    for (const SerialLine line :
         {SerialLine{9600, 8, 0, 0}, SerialLine{115200, 7, 2, 2}, SerialLine{300, 5, 0, 1}}) {
        const termios t = rawLine(cooked(), line);
        EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY | ICRNL), 0u);
        EXPECT_EQ(t.c_oflag & OPOST, 0u);
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
        EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
        EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
        EXPECT_EQ(t.c_cc[VMIN], 0);
        EXPECT_EQ(t.c_cc[VTIME], 0);
    }
}

TEST(serial_line_test, size_stop_bits_parity_and_rate_are_as_asked) {
    struct Row {
        SerialLine line;
        speed_t speed;
        tcflag_t bits; // of CSIZE | CSTOPB | PARENB | PARODD
    } rows[] = {
        {{9600, 8, 0, 0}, B9600, CS8},
        {{19200, 8, 2, 0}, B19200, CS8 | CSTOPB},
        {{38400, 7, 0, 1}, B38400, CS7 | PARENB | PARODD},
        {{115200, 7, 2, 2}, B115200, CS7 | CSTOPB | PARENB},
        {{57600, 6, 0, 2}, B57600, CS6 | PARENB},
        {{4000000, 5, 0, 0}, B4000000, CS5},
    };
    for (const Row &r : rows) {
        const termios t = rawLine(cooked(), r.line);
        EXPECT_EQ(cfgetospeed(&t), r.speed) << r.line.baud;
        EXPECT_EQ(cfgetispeed(&t), r.speed) << r.line.baud;
        EXPECT_EQ(t.c_cflag & (CSIZE | CSTOPB | PARENB | PARODD), r.bits) << r.line.baud;
    }
}

TEST(serial_line_test, what_a_device_did_not_take_is_named) {
    const termios want = rawLine(cooked(), SerialLine{19200, 7, 2, 1});
    EXPECT_FALSE(lineMismatch(want, want));
    termios got = want;
    cfsetospeed(&got, B9600);
    EXPECT_EQ(lineMismatch(want, got), "19200 bit/s");
    got = want;
    got.c_cflag = (got.c_cflag & ~CSIZE) | CS8;
    EXPECT_EQ(lineMismatch(want, got), "7 data bits");
    got = want;
    got.c_cflag &= ~CSTOPB;
    EXPECT_EQ(lineMismatch(want, got), "two stop bits");
    got = want;
    got.c_cflag &= ~PARENB; // PARODD alone means nothing
    EXPECT_EQ(lineMismatch(want, got), "odd parity");
    got = want;
    got.c_cflag &= ~PARODD;
    EXPECT_EQ(lineMismatch(want, got), "odd parity");
}

TEST(serial_line_test, lines_that_cannot_be_had_say_why) {
    struct Row {
        SerialLine line;
        const char *why; // nullptr: fine
    } rows[] = {
        {{9600, 8, 0, 0}, nullptr},
        {{4000000, 5, 2, 2}, nullptr},
        {{0, 8, 0, 0}, "0 bit/s is not a standard baud rate"},
        {{-9600, 8, 0, 0}, "-9600 bit/s is not a standard baud rate"},
        {{9601, 8, 0, 0}, "9601 bit/s is not a standard baud rate"},
        {{9600, 4, 0, 0}, "4 data bits: use 5 to 8"},
        {{9600, 9, 0, 0}, "9 data bits: use 5 to 8"},
        {{9600, 8, 1, 0}, "stop bits code 1: use 0 (one) or 2 (two)"},
        {{9600, 8, -1, 0}, "stop bits code -1"},
        {{9600, 8, 0, -1}, "parity code -1: use 0 (none), 1 (odd), 2 (even)"},
        {{9600, 8, 0, 3}, "parity code 3"},
    };
    for (const Row &r : rows) {
        const auto problem = posdll::lineProblem(r.line);
        if (!r.why) {
            EXPECT_FALSE(problem) << *problem;
            continue;
        }
        ASSERT_TRUE(problem) << r.why;
        EXPECT_EQ(problem->rfind(r.why, 0), 0u) << *problem;
    }
}
