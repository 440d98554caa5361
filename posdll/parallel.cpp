// Parallel ports: LPTn is /dev/lp(n-1), else /dev/usb/lp(n-1) (or $POSDLL_PORT_LPTn).
#include "posdll/device_file.h"

#include <fcntl.h>

namespace posdll {

namespace {

std::vector<std::string> parallelPaths(int number) {
    const std::string n = std::to_string(number - 1);
    return {"/dev/lp" + n, "/dev/usb/lp" + n};
}

const DeviceKind kParallel{"parallel port", "LPT", "lp", parallelPaths};

} // namespace

std::unique_ptr<Transport> openParallel(const std::string &portName) {
    const auto target = locateDevice(kParallel, portName);
    if (!target)
        return nullptr;
    // A USB printer class device answers status requests, so it is opened for reading too.
    // O_APPEND: a plain file standing in for the printer keeps every document.
    const bool readable = target->path.starts_with("/dev/usb/lp");
    Fd fd = openLocked(kParallel, *target, (readable ? O_RDWR : O_WRONLY) | O_APPEND);
    if (!fd)
        return nullptr;
    return std::make_unique<DeviceFile>(std::move(fd), target->label);
}

} // namespace posdll
