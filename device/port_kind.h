// Which kind of port a port name stands for. Pure.
#pragma once

#include <string_view>

namespace device {

enum class PortKind { Ethernet, Serial, Parallel, Driver, Unknown };

// The first three characters, compared exactly (case-sensitive) with ETH, COM, LPT, DRI in
// that order; a shorter name matches nothing.
PortKind portKindOf(std::string_view portName);

} // namespace device
