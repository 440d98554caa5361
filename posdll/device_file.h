// Serial and parallel ports are device files: the file a port name stands for, opening it
// exclusively, and writing to it within a bounded time. Shared by serial.cpp and parallel.cpp.
#pragma once

#include "posdll/fd.h"
#include "posdll/port_devices.h"
#include "posdll/transport.h"

#include <functional>
#include <optional>
#include <string>

namespace posdll {

// What is common to one kind of device port.
struct DeviceKind {
    const char *what; // "serial port"
    PortFamily family;
    const char *group; // the group that usually owns such devices: "dialout"
};

struct DeviceTarget {
    PortName port;
    PortDevice device; // see portDevice()
    std::string label; // "serial port COM3 (/dev/ttyS2)"
};

// Only the prefix and a number 1 to 255 make a port name; anything else records the reason
// and gives nothing (it never becomes a path).
std::optional<DeviceTarget> locateDevice(const DeviceKind &kind, const std::string &name);

// Follows the path to its file, refuses what portFileRefusal() refuses, opens the file
// (flags | O_NOCTTY | O_CLOEXEC | O_NONBLOCK) and locks it exclusively. On failure records
// "<label>: <reason>" and returns an empty Fd.
Fd openLocked(const DeviceKind &kind, const DeviceTarget &target, int flags);

// Waits until the device has passed on what it was given, or the deadline: the revents, 0 at
// the deadline, -1 with errno.
using DeliveryWait = std::function<int(int fd, Clock::time_point deadline)>;

// POLLOUT: what a USB printer raises once its last transfer has completed.
int pollWritable(int fd, Clock::time_point deadline);

// A port open on a device file. With a delivery wait, the end of the document, or the close
// when the document was not ended, waits for it after the last write: a device that takes
// bytes before passing them on may drop them when closed early.
class DeviceFile : public Transport {
  public:
    DeviceFile(Fd fd, std::string label, DeliveryWait delivered = {})
        : m_fd(std::move(fd)), m_label(std::move(label)), m_delivered(std::move(delivered)) {}
    int write(const unsigned char *bytes, int count) override;
    int read(unsigned char *bytes, int count, milliseconds wait) override;
    bool discardInput() override;
    bool endDoc() override;
    bool close() override;

  protected:
    bool fail(const std::string &reason, ErrorKind kind = POS_ERR_INTERNAL, int err = 0) const;
    Fd m_fd;
    std::string m_label;

  private:
    bool awaitDelivery();
    DeliveryWait m_delivered;
    int m_unconfirmed = 0; // bytes written since the device last said it passed all on
};

} // namespace posdll
