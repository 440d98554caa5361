// Parsing of the names POS_Open takes. Pure: no I/O.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace posdll {

// "COM3" with prefix "COM" -> 3. Only decimal digits may follow, without a leading zero, and
// the number is 1 to 255; anything else (COM0, COM-1, COM../x, com3) gives nothing.
std::optional<int> portNumber(std::string_view name, std::string_view prefix);

struct NetworkAddress {
    std::string host; // without brackets
    int port = 9100;
    bool numeric = false; // IPv4 dotted quad or IPv6 literal: never handed to a name lookup
};

// "10.1.2.3", "10.1.2.3:9101", "printer.local", "[::1]:9100". Error text in *why.
std::optional<NetworkAddress> parseNetworkAddress(std::string_view text, std::string *why);

} // namespace posdll
