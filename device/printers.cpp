#include "device/printers.h"

namespace device {

// Print queues are not read yet: no printers.
std::vector<std::string> installedPrinters() { return {}; }

} // namespace device
