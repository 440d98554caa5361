// Which device file each COMn and LPTn name reaches: the device library's own choice
// (posdll/port_devices.h), over the devices present and the environment given.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace device {

// The device files the library tries for a port name, in order. Empty for any other name.
std::vector<std::string> usualDevices(std::string_view portName);

struct PortMapping {
    std::string name;        // "COM3"
    std::string device;      // "/dev/ttyS2"
    bool present = false;    // the device file exists
    bool overridden = false; // the device comes from posdll::overrideVariable
    bool operator==(const PortMapping &) const = default;
};

using Environment = std::map<std::string, std::string>;

// What portName opens (see posdll::portDevice), and whether it is present.
PortMapping mapPort(const std::string &portName, const Environment &env,
                    const std::vector<std::string> &present);

struct PortsReport {
    std::vector<PortMapping>
        ports; // COM1-COM9, LPT1-LPT3, and any other name that reaches a device or is overridden
    std::vector<std::string> unmapped; // devices present that no name reaches
};

PortsReport reportPorts(const std::vector<std::string> &present, const Environment &env);

// Orders "/dev/ttyS2" before "/dev/ttyS10".
bool naturalLess(const std::string &a, const std::string &b);

} // namespace device
