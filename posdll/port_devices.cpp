#include "posdll/port_devices.h"

#include "posdll/port_names.h"

#include <algorithm>
#include <span>
#include <sys/stat.h>

namespace posdll {

const char *portPrefix(PortFamily family) {
    switch (family) {
    case PortFamily::Serial:
        return "COM";
    case PortFamily::Parallel:
        return "LPT";
    }
    return "";
}

std::optional<PortName> parsePortName(std::string_view name) {
    for (const PortFamily family : {PortFamily::Serial, PortFamily::Parallel})
        if (const auto n = portNumber(name, portPrefix(family)))
            return PortName{family, *n};
    return std::nullopt;
}

std::string portNameText(PortName port) {
    return portPrefix(port.family) + std::to_string(port.number);
}

std::string overrideVariable(PortName port) {
    return std::string(kPortOverridePrefix) + portNameText(port);
}

std::vector<std::string> usualDevicePaths(PortName port) {
    const std::string index = std::to_string(port.number - 1);
    switch (port.family) {
    case PortFamily::Serial:
        return {"/dev/ttyS" + index};
    case PortFamily::Parallel:
        return {"/dev/lp" + index, "/dev/usb/lp" + index};
    }
    return {};
}

PortDevice portDevice(PortName port, std::string_view overrideValue,
                      const std::function<bool(const std::string &)> &exists) {
    if (!overrideValue.empty())
        return {std::string(overrideValue), true};
    const std::vector<std::string> usual = usualDevicePaths(port);
    const auto found = std::find_if(usual.begin(), usual.end(), exists);
    // With none there, the last is named. /dev/lpN is there whenever the parallel-port driver
    // is loaded, printer or not, while /dev/usb/lpN comes and goes with a USB printer: when
    // neither exists, the likely printer is a USB one that is unplugged or off.
    return {found != usual.end() ? *found : usual.back(), false};
}

namespace {

const char *fileKind(mode_t mode) {
    if (S_ISREG(mode))
        return "a regular file";
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISSOCK(mode))
        return "a socket";
    if (S_ISBLK(mode))
        return "a block device (a disk)";
    if (S_ISCHR(mode))
        return "a character device";
    return "no device";
}

// Character device majors (the kernel's devices.txt).
constexpr unsigned kMemoryMajor = 1; // mem, kmem, null, port, zero, full, random, kmsg ...
constexpr unsigned kNullMinor = 3;
constexpr unsigned kPrinterMajors[] = {6, 180}; // parallel printers; USB printers (usblp)
constexpr unsigned kStorageMajors[] = {31, 90}; // ROM and flash memory; MTD

bool oneOf(unsigned major, std::span<const unsigned> majors) {
    return std::find(majors.begin(), majors.end(), major) != majors.end();
}

// A parallel port's character device: a printer driver's, else another only when files are
// allowed (/dev/null to try a batch), and never memory or storage, whose bytes are not paper.
std::optional<std::string> charDeviceRefusal(const PortFile &file, const std::string &what) {
    if (oneOf(file.major, kPrinterMajors))
        return std::nullopt;
    const std::string device = what + "a character device (" + std::to_string(file.major) + ", " +
                               std::to_string(file.minor) + ")";
    if ((file.major == kMemoryMajor && file.minor != kNullMinor) ||
        oneOf(file.major, kStorageMajors))
        return "not a printer: " + device + " of memory or storage, never written as a printer";
    if (file.filesAllowed)
        return std::nullopt;
    return "not a printer: " + device + " of no printer driver (set " + kAllowFilesVariable +
           "=1 to write to it)";
}

} // namespace

bool onKernelPath(std::string_view resolved) {
    for (const std::string_view root : {"/proc", "/sys"})
        if (resolved.starts_with(root) &&
            (resolved.size() == root.size() || resolved[root.size()] == '/'))
            return true;
    return false;
}

std::optional<std::string> portFileRefusal(PortFamily family, const PortFile &file) {
    const std::string what =
        file.resolvedTo.empty() ? std::string("it is ") : "it leads to " + file.resolvedTo + ", ";
    std::string tail;
    switch (family) {
    case PortFamily::Serial:
        if (S_ISCHR(file.mode))
            return std::nullopt;
        tail = "; a serial port is a terminal device";
        break;
    case PortFamily::Parallel:
        if (file.kernelFile)
            tail = " of the kernel's (/proc, /sys), never written as a printer";
        else if (S_ISCHR(file.mode))
            return charDeviceRefusal(file, what);
        else if (S_ISFIFO(file.mode) || (S_ISREG(file.mode) && file.filesAllowed))
            return std::nullopt;
        else if (S_ISREG(file.mode))
            tail = std::string(" (set ") + kAllowFilesVariable + "=1 to append frames to files)";
        break;
    }
    return "not a device: " + what + fileKind(file.mode) + tail;
}

} // namespace posdll
