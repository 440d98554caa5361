// Parsing of the names POS_Open takes. Pure: no I/O.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace posdll {

// "COM3" with prefix "COM" -> 3. Only decimal digits may follow, without a leading zero, and
// the number is 1 to 255; anything else (COM0, COM-1, COM../x, com3) gives nothing.
std::optional<int> portNumber(std::string_view name, std::string_view prefix);

// The TCP port of a network printer when the address names none.
inline constexpr int kPrinterPort = 9100;

struct NetworkAddress {
    std::string host; // without brackets; an IPv4 address in its plain form ("10.0.0.1")
    int port = kPrinterPort;
    bool numeric = false; // IPv4 dotted quad or IPv6 literal: never handed to a name lookup
};

// "10.1.2.3", "010.001.002.003:9101" (decimal, as typed in an address box), "printer.local",
// "[::1]:9100". Digits and dots that are no dotted quad ("1.2.3", "300.1.2.3") and other
// number forms ("0x7f.1") are refused, never looked up. minPort is 1 for printers (0 lets a
// listener ask for any free port). Error text in *why.
std::optional<NetworkAddress> parseNetworkAddress(std::string_view text, std::string *why,
                                                  int minPort = 1);

// Why a text cannot name a print queue (CUPS refuses such names, and they would break the
// printer URI), or nothing when it can: 1 to 127 printable characters without space, slash,
// hash, backslash or quotes.
std::optional<std::string> queueNameProblem(std::string_view name);

// "host:port", with brackets around an IPv6 address.
std::string formatAddress(const std::string &host, int port);

} // namespace posdll
