// Serial ports: COMn is /dev/ttyS(n-1) (or $POSDLL_PORT_COMn), set raw to the line asked for.
#include "posdll/device_file.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>

namespace posdll {

namespace {

std::vector<std::string> serialPaths(int number) {
    return {"/dev/ttyS" + std::to_string(number - 1)};
}

const DeviceKind kSerial{"serial port", "COM", "dialout", serialPaths};

// How long EndDoc waits for the bytes to leave the port.
constexpr milliseconds kDrainWait{5000};

struct Rate {
    int baud;
    speed_t code;
};

constexpr Rate kRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

std::optional<speed_t> speedCode(int baud) {
    for (const Rate &r : kRates)
        if (r.baud == baud)
            return r.code;
    return std::nullopt;
}

// The line settings as termios flags, or the reason they cannot be had.
std::optional<std::string> lineProblem(const SerialLine &line) {
    if (!speedCode(line.baud))
        return std::to_string(line.baud) +
               " bit/s is not a standard baud rate (as 9600, 19200, 38400, 115200)";
    if (line.dataBits < 5 || line.dataBits > 8)
        return std::to_string(line.dataBits) + " data bits: use 5 to 8";
    if (line.stopBits != 0 && line.stopBits != 2)
        return "stop bits code " + std::to_string(line.stopBits) + ": use 0 (one) or 2 (two)";
    if (line.parity < 0 || line.parity > 2)
        return "parity code " + std::to_string(line.parity) + ": use 0 (none), 1 (odd), 2 (even)";
    return std::nullopt;
}

termios rawLine(termios t, const SerialLine &line) {
    ::cfmakeraw(&t);
    const speed_t speed = *speedCode(line.baud);
    ::cfsetispeed(&t, speed);
    ::cfsetospeed(&t, speed);
    static constexpr tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS);
    t.c_cflag |= sizes[line.dataBits - 5] | CLOCAL | CREAD;
    if (line.stopBits == 2)
        t.c_cflag |= CSTOPB;
    if (line.parity != 0)
        t.c_cflag |= PARENB | (line.parity == 1 ? PARODD : 0);
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    return t;
}

class SerialPort final : public DeviceFile {
  public:
    using DeviceFile::DeviceFile;

    // Waits, within a bound, until the port has sent every byte (tcdrain could wait forever).
    bool endDoc() override {
        const auto deadline = Clock::now() + kDrainWait;
        for (;;) {
            const int pending = pendingOutput();
            if (pending < 0)
                return fail("cannot tell whether the bytes were sent: " + errnoText(errno));
            if (pending == 0)
                return true;
            if (millisecondsLeft(deadline) == 0) {
                ::tcflush(m_fd.get(), TCOFLUSH);
                return fail(std::to_string(pending) + " bytes were still not sent after " +
                            durationText(kDrainWait) + "; is the printer on and ready?");
            }
            ::poll(nullptr, 0, 10);
        }
    }

    // Bytes still waiting would make close() wait for them, unbounded: drop them first.
    bool close() override {
        if (m_fd && pendingOutput() > 0)
            ::tcflush(m_fd.get(), TCOFLUSH);
        return DeviceFile::close();
    }

  private:
    int pendingOutput() const {
        int n = 0;
        return ::ioctl(m_fd.get(), TIOCOUTQ, &n) == 0 ? n : -1;
    }
};

} // namespace

std::unique_ptr<Transport> openSerial(const std::string &portName, const SerialLine &line) {
    const auto target = locateDevice(kSerial, portName);
    if (!target)
        return nullptr;
    if (const auto problem = lineProblem(line)) {
        setLastError(target->label + ": " + *problem);
        return nullptr;
    }
    Fd fd = openLocked(kSerial, *target, O_RDWR);
    if (!fd)
        return nullptr;
    auto fail = [&](const char *what) {
        const int err = errno;
        setLastError(target->label + ": " + (err == ENOTTY ? "not a serial device" : what) + ": " +
                     errnoText(err));
        return nullptr;
    };
    termios t;
    if (::tcgetattr(fd.get(), &t) != 0)
        return fail("cannot read the line settings");
    const termios want = rawLine(t, line);
    if (::tcsetattr(fd.get(), TCSANOW, &want) != 0)
        return fail("cannot set the line");
    termios got;
    if (::tcgetattr(fd.get(), &got) != 0)
        return fail("cannot read the line settings");
    if (::cfgetospeed(&got) != ::cfgetospeed(&want)) {
        setLastError(target->label + ": the device does not take " + std::to_string(line.baud) +
                     " bit/s");
        return nullptr;
    }
    ::tcflush(fd.get(), TCIOFLUSH); // nothing stale from before this document
    return std::make_unique<SerialPort>(std::move(fd), target->label);
}

} // namespace posdll
