#include "device/port_catalogue.h"

namespace device {

std::vector<std::string> cataloguePorts(PortKind kind) {
    std::vector<std::string> ports;
    for (std::string_view name : kPortCatalogue)
        if (portKindOf(name) == kind)
            ports.emplace_back(name);
    return ports;
}

std::string catalogueSpan(PortKind kind) {
    const std::vector<std::string> ports = cataloguePorts(kind);
    if (ports.size() < 2)
        return ports.empty() ? std::string() : ports.front();
    return ports.front() + "-" + ports.back();
}

} // namespace device
