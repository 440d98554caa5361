#include "posdll/port_devices.h"

#include "posdll/port_names.h"

#include <algorithm>
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
    return "no device";
}

} // namespace

std::optional<std::string> portFileRefusal(PortFamily family, const PortFile &file) {
    if (S_ISCHR(file.mode))
        return std::nullopt;
    std::string tail;
    switch (family) {
    case PortFamily::Serial:
        tail = "; a serial port is a terminal device";
        break;
    case PortFamily::Parallel:
        if (S_ISFIFO(file.mode))
            return std::nullopt;
        if (S_ISREG(file.mode) && file.kernelFile)
            tail = " of the kernel's (/proc, /sys), never written as a printer";
        else if (S_ISREG(file.mode) && file.filesAllowed)
            return std::nullopt;
        else if (S_ISREG(file.mode))
            tail = std::string(" (set ") + kAllowFilesVariable + "=1 to append frames to files)";
        break;
    }
    const std::string what =
        file.resolvedTo.empty() ? std::string("it is ") : "it leads to " + file.resolvedTo + ", ";
    return "not a device: " + what + fileKind(file.mode) + tail;
}

} // namespace posdll
