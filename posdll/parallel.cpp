// Parallel ports: LPTn is /dev/lp(n-1), else /dev/usb/lp(n-1) (or $POSDLL_PORT_LPTn).
#include "posdll/device_file.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace posdll {

namespace {

const DeviceKind kParallel{"parallel port", PortFamily::Parallel, "lp"};

} // namespace

std::unique_ptr<Transport> openParallel(const std::string &portName) {
    const auto target = locateDevice(kParallel, portName);
    if (!target)
        return nullptr;
    // O_APPEND: a plain file standing in for the printer keeps every document.
    Fd fd = openLocked(kParallel, *target, O_WRONLY | O_APPEND);
    if (!fd)
        return nullptr;
    // A USB printer takes a write before the transfer ends and cancels it when closed: wait
    // for the device to say it is done. A FIFO's or a file's room says nothing of the kind.
    struct stat st;
    const bool device = ::fstat(fd.get(), &st) == 0 && S_ISCHR(st.st_mode);
    return std::make_unique<DeviceFile>(std::move(fd), target->label,
                                        device ? DeliveryWait(pollWritable) : DeliveryWait());
}

} // namespace posdll
