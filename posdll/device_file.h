// Serial and parallel ports are device files: the file a port name stands for, opening it
// exclusively, and writing to it within a bounded time. Shared by serial.cpp and parallel.cpp.
#pragma once

#include "posdll/fd.h"
#include "posdll/transport.h"

#include <optional>
#include <string>
#include <vector>

namespace posdll {

// What is common to one kind of device port.
struct DeviceKind {
    const char *what;   // "serial port"
    const char *prefix; // "COM"
    const char *group;  // the group that usually owns such devices: "dialout"
    // The device files port n usually is, in the order they are tried.
    std::vector<std::string> (*usualPaths)(int number);
};

struct DeviceTarget {
    int number = 0;
    std::string path;        // $POSDLL_PORT_<name> when set, else the first usual path there is
    bool overridden = false; // path came from the environment
    std::string label;       // "serial port COM3 (/dev/ttyS2)"
};

// The environment variable that overrides the device of a port: "POSDLL_PORT_COM3".
std::string overrideVariable(const DeviceKind &kind, int number);

// Only the prefix and a number 1 to 255 make a port name; anything else records the reason
// and gives nothing (it never becomes a path).
std::optional<DeviceTarget> locateDevice(const DeviceKind &kind, const std::string &name);

// Opens the device (flags | O_NOCTTY | O_CLOEXEC | O_NONBLOCK) and locks it exclusively.
// On failure records "<label>: <reason>" and returns an empty Fd.
Fd openLocked(const DeviceKind &kind, const DeviceTarget &target, int flags);

// A port open on a device file.
class DeviceFile : public Transport {
  public:
    DeviceFile(Fd fd, std::string label) : m_fd(std::move(fd)), m_label(std::move(label)) {}
    int write(const unsigned char *bytes, int count) override;
    int read(unsigned char *bytes, int count, milliseconds wait) override;
    bool close() override;

  protected:
    bool fail(const std::string &reason, ErrorKind kind = POS_ERR_INTERNAL) const;
    Fd m_fd;
    std::string m_label;
};


} // namespace posdll
