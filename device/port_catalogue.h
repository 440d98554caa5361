// The ports offered by name: the window's port list, posdip-cli's --port choices and
// completions, and the serial and parallel ports `posdip-cli ports` always lists.
#pragma once

#include "device/port_kind.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace device {

// In the order the window's list shows them; the first is the port it opens on.
inline constexpr std::array<std::string_view, 14> kPortCatalogue = {
    "ETHERNET", "COM1", "COM2", "COM3", "COM4", "COM5", "COM6",
    "COM7",     "COM8", "COM9", "LPT1", "LPT2", "LPT3", "DRIVER"};

// The catalogue's ports of one kind, in its order.
std::vector<std::string> cataloguePorts(PortKind kind);

// "COM1-COM9": the first and the last of the catalogue's ports of one kind.
std::string catalogueSpan(PortKind kind);

} // namespace device
