// What this machine has: the serial and parallel device files, and the port overrides set in
// the environment.
#pragma once

#include "device/port_map.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace device {

// /dev/ttyS*, /dev/ttyUSB*, /dev/ttyACM*, /dev/lp*, /dev/usb/lp* that exist, in natural order.
std::vector<std::string> presentPortDevices();

// The POSDLL_PORT_* variables of this process.
Environment portEnvironment();

// presentPortDevices(), and the files the overrides in env name that exist.
std::vector<std::string> presentDevicesWith(const Environment &env);

// The device file each COMn and LPTn name opens here; the machine is read once, at the first.
class MachinePorts {
  public:
    // "" for a name that opens no device file (ETHERNET, DRIVER).
    std::string deviceOf(const std::string &portName);

  private:
    std::optional<std::pair<Environment, std::vector<std::string>>> m_read;
};

} // namespace device
