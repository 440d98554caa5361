// Addresses that can never be one printer's. Pure: no I/O.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <sys/socket.h>

namespace posdll {

// Why the address cannot be a printer's ("0.0.0.0 is the unspecified address, ..."), or nothing
// when it may be one. Refused: the unspecified addresses 0.0.0.0 and :: (a connection to them
// reaches this machine), the rest of 0.0.0.0/8 (never a destination), multicast (224.0.0.0/4,
// ff00::/8), the reserved 240.0.0.0/4 with the limited broadcast 255.255.255.255 in it, also
// written as IPv4-mapped IPv6 addresses. Other addresses ending in .255 may be a host's in a
// network wider than /24, so they are left to the connection.
std::optional<std::string> notAPrinter(const sockaddr *address);
// The same for an IPv4 address in host byte order.
std::optional<std::string> notAPrinterIpv4(std::uint32_t hostOrder);

} // namespace posdll
