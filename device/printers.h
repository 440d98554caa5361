// The print queues installed on this system.
#pragma once

#include <string>
#include <vector>

namespace device {

// Queue names in the order the system lists them; empty when there are none or the print
// system cannot be reached.
std::vector<std::string> installedPrinters();

} // namespace device
