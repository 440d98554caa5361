#include "device/port_kind.h"

namespace device {

PortKind portKindOf(std::string_view portName) {
    if (portName.size() < 3)
        return PortKind::Unknown;
    const std::string_view head = portName.substr(0, 3);
    if (head == "ETH")
        return PortKind::Ethernet;
    if (head == "COM")
        return PortKind::Serial;
    if (head == "LPT")
        return PortKind::Parallel;
    if (head == "DRI")
        return PortKind::Driver;
    return PortKind::Unknown;
}

} // namespace device
