// Serial ports: COMn is /dev/ttyS(n-1) (or $POSDLL_PORT_COMn), set raw to the line asked for.
#include "posdll/device_file.h"
#include "posdll/serial_line.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>

namespace posdll {

namespace {

std::vector<std::string> serialPaths(int number) {
    return {"/dev/ttyS" + std::to_string(number - 1)};
}

const DeviceKind kSerial{"serial port", "COM", "dialout", serialPaths};

class SerialPort final : public DeviceFile {
  public:
    using DeviceFile::DeviceFile;

    // Waits, within a bound, until the port has sent every byte (tcdrain could wait forever).
    bool endDoc() override {
        const auto deadline = Clock::now() + writeWait();
        for (;;) {
            const int pending = pendingOutput();
            if (pending < 0)
                return fail("cannot tell whether the bytes were sent: " + errnoText(errno));
            if (pending == 0)
                return true;
            if (millisecondsLeft(deadline) == 0) {
                ::tcflush(m_fd.get(), TCOFLUSH);
                return fail(std::to_string(pending) + " bytes were still not sent after " +
                                durationText(writeWait()) + "; is the printer on and ready?",
                            POS_ERR_TIMEOUT);
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
        setLastError(target->label + ": " + *problem, POS_ERR_BAD_ARGUMENT);
        return nullptr;
    }
    Fd fd = openLocked(kSerial, *target, O_RDWR);
    if (!fd)
        return nullptr;
    auto fail = [&](const char *what) {
        const int err = errno;
        setLastError(target->label + ": " + (err == ENOTTY ? "not a serial device" : what) + ": " +
                         errnoText(err),
                     errorKindOf(err));
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
    if (const auto refused = lineMismatch(want, got)) {
        setLastError(target->label + ": the device does not take " + *refused);
        return nullptr;
    }
    ::tcflush(fd.get(), TCIOFLUSH); // nothing stale from before this document
    return std::make_unique<SerialPort>(std::move(fd), target->label);
}

} // namespace posdll
