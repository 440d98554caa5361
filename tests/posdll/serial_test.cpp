// The serial transport against real pseudo-terminals mapped as COMn.
#include "document.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>

using namespace testing_support;

namespace {

bool contains(const std::string &s, const std::string &part) {
    return s.find(part) != std::string::npos;
}

// COM7 stands for the pseudo-terminal's slave for one test.
struct MappedPty {
    Pty pty;
    ScopedEnv env{"POSDLL_PORT_COM7", pty.path};
};

} // namespace

TEST(serial_test, exact_bytes_arrive_with_the_line_set_raw_at_the_chosen_rate) {
    for (const auto &[baud, code] : {std::pair{9600, B9600}, std::pair{19200, B19200},
                                     std::pair{38400, B38400}, std::pair{115200, B115200}}) {
        MappedPty p;
        ASSERT_FALSE(p.pty.path.empty());
        const int h = POS_Open("COM7", baud, 8, 0, 0, POS_PORT_SERIAL);
        ASSERT_GT(h, 0) << POS_LastError();
        termios t;
        ASSERT_EQ(::tcgetattr(p.pty.slave.get(), &t), 0);
        EXPECT_EQ(::cfgetospeed(&t), code) << baud;
        EXPECT_EQ(::cfgetispeed(&t), code) << baud;
        EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
        EXPECT_FALSE(t.c_cflag & (CSTOPB | PARENB | CRTSCTS)) << "8N1, no hardware flow control";
        EXPECT_TRUE(t.c_cflag & CLOCAL);
        EXPECT_TRUE(t.c_cflag & CREAD);
        EXPECT_FALSE(t.c_iflag & (IXON | IXOFF | IXANY | ICRNL | ISTRIP)) << "no XON/XOFF, raw";
        EXPECT_FALSE(t.c_oflag & OPOST) << "bytes go out as they are";
        EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN));

        const Bytes frame = frameBytes();
        EXPECT_EQ(POS_StartDoc(), 0);
        EXPECT_EQ(POS_WriteFile(h, frame.data(), 11), 11) << POS_LastError();
        EXPECT_EQ(POS_EndDoc(), 0) << POS_LastError();
        EXPECT_EQ(POS_Close(), 0);
        EXPECT_EQ(readCount(p.pty.master.get(), 11), frame);
    }
}

TEST(serial_test, a_line_the_device_does_not_take_is_an_error_not_a_silent_change) {
    // Recent kernels keep a pseudo-terminal at 8 bits without parity; older ones take 7E1.
    MappedPty p;
    const int h = POS_Open("COM7", 9600, 7, 0, 2, POS_PORT_SERIAL);
    termios t;
    ASSERT_EQ(::tcgetattr(p.pty.slave.get(), &t), 0);
    if (h > 0) {
        EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS7));
        EXPECT_TRUE(t.c_cflag & PARENB);
        POS_Close();
    } else {
        EXPECT_EQ(POS_LastError(),
                  "serial port COM7 (" + p.pty.path + "): the device does not take 7 data bits");
    }
}

TEST(serial_test, line_settings_the_port_cannot_have_are_refused_before_opening) {
    MappedPty p;
    struct Row {
        Line line;
        const char *why;
    } rows[] = {
        {{12345, 8, 0, 0},
         "12345 bit/s is not a standard baud rate (as 9600, 19200, 38400, "
         "115200)"},
        {{9600, 8, 1, 0}, "stop bits code 1: use 0 (one) or 2 (two)"},
        {{9600, 8, 0, 3}, "parity code 3: use 0 (none), 1 (odd), 2 (even)"},
    };
    for (const Row &r : rows) {
        EXPECT_EQ(POS_Open("COM7", r.line.baud, r.line.dataBits, r.line.stopBits, r.line.parity,
                           POS_PORT_SERIAL),
                  -1);
        EXPECT_EQ(POS_LastError(), "serial port COM7 (" + p.pty.path + "): " + r.why);
    }
    // Never opened, so never locked.
    Fd other(::open(p.pty.path.c_str(), O_RDWR | O_NOCTTY));
    EXPECT_EQ(::flock(other.get(), LOCK_EX | LOCK_NB), 0);
}

TEST(serial_test, a_port_held_by_another_program_is_busy) {
    MappedPty p;
    Fd other(::open(p.pty.path.c_str(), O_RDWR | O_NOCTTY));
    ASSERT_EQ(::flock(other.get(), LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(POS_Open("COM7", 19200, 8, 0, 0, POS_PORT_SERIAL), -1);
    EXPECT_EQ(POS_LastError(),
              "serial port COM7 (" + p.pty.path + "): busy: another program holds it");

    // Free again, the port opens, and now it is the library that holds it.
    ::flock(other.get(), LOCK_UN);
    const int h = POS_Open("COM7", 19200, 8, 0, 0, POS_PORT_SERIAL);
    ASSERT_GT(h, 0) << POS_LastError();
    EXPECT_EQ(::flock(other.get(), LOCK_EX | LOCK_NB), -1);
    EXPECT_EQ(POS_Close(), 0);
    EXPECT_EQ(::flock(other.get(), LOCK_EX | LOCK_NB), 0) << "close releases the lock";
}

TEST(serial_test, the_other_side_going_away_fails_the_write) {
    MappedPty p;
    const int h = POS_Open("COM7", 19200, 8, 0, 0, POS_PORT_SERIAL);
    ASSERT_GT(h, 0) << POS_LastError();
    p.pty.master.reset(); // the printer's side is gone
    EXPECT_EQ(POS_WriteFile(h, frameBytes().data(), 11), -1);
    EXPECT_EQ(POS_LastError(),
              "serial port COM7 (" + p.pty.path + "): Input/output error after 0 of 11 bytes");
    POS_EndDoc();
    POS_Close();
    EXPECT_EQ(POS_Close(), -1) << "the port was released";
}

TEST(serial_test, a_port_that_stops_taking_bytes_fails_within_the_bound) {
    MappedPty p; // the master never reads, so the terminal's buffer fills up
    const ShortWriteBound bound;
    const Bytes big(1 << 20, 0x55);
    const int h = POS_Open("COM7", 115200, 8, 0, 0, POS_PORT_SERIAL);
    ASSERT_GT(h, 0) << POS_LastError();
    EXPECT_EQ(POS_WriteFile(h, big.data(), static_cast<int>(big.size())), -1);
    const std::string error = POS_LastError();
    EXPECT_TRUE(contains(error, "took no bytes for 1 s after ")) << error;
    EXPECT_TRUE(contains(error, " of 1048576 bytes; is the printer on")) << error;
    POS_EndDoc();
    EXPECT_EQ(POS_Close(), 0);
}

TEST(serial_test, what_is_no_terminal_is_refused_and_left_untouched) {
    TempDir dir;
    const std::string file = dir.file("not-a-tty");
    Fd(::open(file.c_str(), O_CREAT | O_WRONLY, 0644));
    const std::string link = dir.file("link");
    ASSERT_EQ(::symlink(file.c_str(), link.c_str()), 0);
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string folder = dir.file("folder");
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    ScopedEnv allowed("POSDLL_ALLOW_FILES", "1"); // files are for parallel ports only
    const std::string tail = "; a serial port is a terminal device";
    const std::pair<std::string, std::string> rows[] = {
        {file, "not a device: it is a regular file" + tail},
        {link, "not a device: it leads to " + file + ", a regular file" + tail},
        {fifo, "not a device: it is a FIFO" + tail},
        {folder, "not a device: it is a folder" + tail},
        {"/dev/null", "not a serial device: Inappropriate ioctl for device"},
    };
    for (const auto &[path, why] : rows) {
        ScopedEnv env("POSDLL_PORT_COM8", path);
        EXPECT_EQ(POS_Open("COM8", 9600, 8, 0, 0, POS_PORT_SERIAL), -1) << path;
        EXPECT_EQ(POS_LastError(), "serial port COM8 (" + path + "): " + why);
    }
    struct stat st;
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 0);
}

namespace {

termios lineOf(int fd) {
    termios t{};
    ::tcgetattr(fd, &t);
    return t;
}

std::string differences(const termios &a, const termios &b) {
    std::string d;
    if (::cfgetospeed(&a) != ::cfgetospeed(&b) || ::cfgetispeed(&a) != ::cfgetispeed(&b))
        d += " speed";
    if (a.c_iflag != b.c_iflag)
        d += " input";
    if (a.c_oflag != b.c_oflag)
        d += " output";
    if (a.c_cflag != b.c_cflag)
        d += " control";
    if (a.c_lflag != b.c_lflag)
        d += " local";
    if (a.c_cc[VMIN] != b.c_cc[VMIN] || a.c_cc[VTIME] != b.c_cc[VTIME])
        d += " timing";
    return d;
}

} // namespace

TEST(serial_test, the_line_gets_its_settings_back_on_every_way_out) {
    const std::pair<const char *, std::function<void()>> ways[] = {
        {"a whole document, then close",
         [] {
             EXPECT_TRUE(
                 sendDocument("COM7", POS_PORT_SERIAL, frameBytes(), {115200, 8, 0, 0}).ok(11));
         }},
        {"released by the next open, without a close",
         [] {
             ASSERT_GT(POS_Open("COM7", 115200, 8, 0, 0, POS_PORT_SERIAL), 0) << POS_LastError();
             POS_Open("COM200", 9600, 8, 0, 0, POS_PORT_SERIAL);
         }},
        {"an open that fails once the line is set",
         [] {
             // Recent kernels keep a pseudo-terminal at 8 bits without parity.
             if (POS_Open("COM7", 115200, 7, 0, 2, POS_PORT_SERIAL) > 0)
                 POS_Close();
         }},
    };
    for (const auto &[what, use] : ways) {
        SCOPED_TRACE(what);
        MappedPty p;
        termios cooked = lineOf(p.pty.slave.get()); // as a console is: canonical, echo
        ::cfsetspeed(&cooked, B9600);
        ASSERT_EQ(::tcsetattr(p.pty.slave.get(), TCSANOW, &cooked), 0);
        const termios before = lineOf(p.pty.slave.get());
        use();
        EXPECT_EQ(differences(before, lineOf(p.pty.slave.get())), "");
    }
}

TEST(serial_test, documents_sent_back_to_back_all_arrive) {
    MappedPty p; // the printer's side reads only once all were sent
    // Together more than the reading side's line buffer holds (4 KiB): from the fifth on, each
    // open finds bytes still inside the pseudo-terminal, which a flush of output would drop.
    constexpr int kDocuments = 6;
    constexpr int kDocumentBytes = 1000;
    Bytes all;
    for (int i = 0; i < kDocuments; ++i) {
        const Bytes document(kDocumentBytes, static_cast<unsigned char>(i));
        const DocResult r = sendDocument("COM7", POS_PORT_SERIAL, document, {115200, 8, 0, 0});
        ASSERT_TRUE(r.ok(kDocumentBytes)) << i << ": " << r.error;
        all.insert(all.end(), document.begin(), document.end());
    }
    EXPECT_EQ(readCount(p.pty.master.get(), all.size(), milliseconds(3000)), all);
}

TEST(serial_test, missing_device_names_the_path_and_the_override) {
    ScopedEnv unset("POSDLL_PORT_COM200", std::nullopt);
    EXPECT_EQ(POS_Open("COM200", 9600, 8, 0, 0, POS_PORT_SERIAL), -1);
    EXPECT_STREQ(POS_LastError(),
                 "serial port COM200 (/dev/ttyS199): No such file or directory (set "
                 "POSDLL_PORT_COM200 to use another device for this port)");

    TempDir dir;
    ScopedEnv mapped("POSDLL_PORT_COM200", dir.file("gone"));
    EXPECT_EQ(POS_Open("COM200", 9600, 8, 0, 0, POS_PORT_SERIAL), -1);
    EXPECT_EQ(POS_LastError(),
              "serial port COM200 (" + dir.file("gone") + "): No such file or directory");
}

TEST(serial_test, permission_denied_names_the_group_that_owns_the_device) {
    const group *dialout = ::getgrnam("dialout");
    if (!dialout)
        GTEST_SKIP() << "no group dialout here";
    MappedPty p;
    ASSERT_EQ(::chown(p.pty.path.c_str(), 0, dialout->gr_gid), 0);
    ASSERT_EQ(::chmod(p.pty.path.c_str(), 0660), 0);
    const std::string error = asNobody([] {
        POS_Open("COM7", 9600, 8, 0, 0, POS_PORT_SERIAL);
        return std::to_string(POS_LastErrorKind()) + " " + std::to_string(POS_LastErrno()) + " " +
               POS_LastError();
    });
    EXPECT_EQ(error,
              std::to_string(POS_ERR_DENIED) + " " + std::to_string(EACCES) +
                  " serial port COM7 (" + p.pty.path +
                  "): Permission denied — add your user to the group 'dialout', then log in again");
}

TEST(serial_test, only_a_number_may_follow_com_or_lpt) {
    struct Kind {
        int type;
        std::string what, prefix;
        std::vector<std::string> names;
    } kinds[] = {
        {POS_PORT_SERIAL,
         "serial port",
         "COM",
         {"COM0", "COM-1", "COM../x", "COM../../etc/passwd", "COM", "COM256", "COM01", "com1",
          "COM1 ", "COM12345678901234567890", "LPT1"}},
        {POS_PORT_PARALLEL,
         "parallel port",
         "LPT",
         {"LPT", "LPT0", "LPT-1", "LPT../x", "lpt1", "LPT1x", "COM1", "LPT99999999999999999999"}},
    };
    for (const Kind &k : kinds) {
        for (const std::string &name : k.names) {
            EXPECT_EQ(POS_Open(name.c_str(), 9600, 8, 0, 0, k.type), -1) << name;
            EXPECT_EQ(POS_LastError(), k.what + " '" + name + "': not a port name; use " +
                                           k.prefix + " followed by a number from 1 to 255, as " +
                                           k.prefix + "1");
        }
    }
}
