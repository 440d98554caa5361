// Asking an open port for the printer's serial number (GS I 68), as the ledger of stored
// settings needs it to tell one printer from another at the same address.
#pragma once

#include "device/PosdllFuncs.h"

#include <optional>
#include <string>

namespace device {

// Throws away what the printer sent unasked, sends GS I 68 and reads the text reply within
// waitMillis. Empty when the printer gave none (no answer, a reply that is not one, a port
// that cannot be read): it is then known by its target alone. Leaves the port open.
std::optional<std::string> readSerialNumber(PosdllFuncs &lib, int handle, int waitMillis);

} // namespace device
