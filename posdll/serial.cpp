// Serial ports: COMn is /dev/ttyS(n-1) (or $POSDLL_PORT_COMn), set raw to the line asked for.
#include "posdll/device_file.h"
#include "posdll/serial_line.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>

namespace posdll {

namespace {

const DeviceKind kSerial{"serial port", PortFamily::Serial, "dialout"};

class SerialPort final : public DeviceFile {
  public:
    // saved: the line's settings before the open, given back when the port is released.
    SerialPort(Fd fd, std::string label, const termios &saved)
        : DeviceFile(std::move(fd), std::move(label)), m_saved(saved) {}
    ~SerialPort() override { release(); }
    SerialPort(const SerialPort &) = delete;
    SerialPort &operator=(const SerialPort &) = delete;

    // Waits, within a bound, until the port has sent every byte (tcdrain could wait forever).
    bool endDoc() override {
        const auto deadline = Clock::now() + writeWait();
        for (;;) {
            const int pending = pendingOutput();
            if (const int err = errno; pending < 0)
                return fail("cannot tell whether the bytes were sent: " + errnoText(err),
                            POS_ERR_INTERNAL, err);
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

    bool discardInput() override {
        if (::tcflush(m_fd.get(), TCIFLUSH) == 0)
            return true;
        const int err = errno;
        return fail("cannot throw away the line's unread input: " + errnoText(err),
                    errorKindOf(err), err);
    }

    bool close() override {
        const int err = release();
        const bool closed = DeviceFile::close();
        if (err != 0)
            return fail("cannot give the line back its settings: " + errnoText(err),
                        POS_ERR_INTERNAL, err);
        return closed;
    }

  private:
    // The same on close() and on destruction: bytes still waiting would make the close wait for
    // them, unbounded, so they are dropped; then the line (often the machine's serial console)
    // gets back the settings it had before the open. Returns the errno of that, or 0.
    int release() {
        if (!m_fd)
            return 0;
        if (pendingOutput() != 0)
            ::tcflush(m_fd.get(), TCOFLUSH);
        // Nothing is queued any more, so draining waits only for the UART's own few bytes.
        if (::tcsetattr(m_fd.get(), TCSADRAIN, &m_saved) == 0 || errno == EIO)
            return 0; // a line that hung up (EIO) has no settings left to give back
        return errno;
    }

    int pendingOutput() const {
        int n = 0;
        return ::ioctl(m_fd.get(), TIOCOUTQ, &n) == 0 ? n : -1;
    }

    termios m_saved;
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
                     errorKindOf(err), err);
        return nullptr;
    };
    termios saved;
    if (::tcgetattr(fd.get(), &saved) != 0)
        return fail("cannot read the line settings");
    const int raw = fd.get();
    // From here on the port gives the line its settings back on every way out.
    auto port = std::make_unique<SerialPort>(std::move(fd), target->label, saved);
    const termios want = rawLine(saved, line);
    if (::tcsetattr(raw, TCSANOW, &want) != 0)
        return fail("cannot set the line");
    termios got;
    if (::tcgetattr(raw, &got) != 0)
        return fail("cannot read the line settings");
    if (const auto refused = lineMismatch(want, got)) {
        setLastError(target->label + ": the device does not take " + *refused);
        return nullptr;
    }
    // Stale input only: output still queued is the last document's frame on its way out.
    ::tcflush(raw, TCIFLUSH);
    return port;
}

} // namespace posdll
