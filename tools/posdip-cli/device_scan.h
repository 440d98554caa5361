// What this machine has: the serial and parallel device files, and the port overrides set in
// the environment.
#pragma once

#include "port_map.h"

#include <string>
#include <vector>

namespace cli {

// /dev/ttyS*, /dev/ttyUSB*, /dev/ttyACM*, /dev/lp*, /dev/usb/lp* that exist, in natural order.
std::vector<std::string> presentPortDevices();

// The POSDLL_PORT_* variables of this process.
Environment portEnvironment();

// presentPortDevices(), and the files the overrides in env name that exist.
std::vector<std::string> presentDevicesWith(const Environment &env);

} // namespace cli
