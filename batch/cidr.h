// The addresses a scan sweeps: an IPv4 network written A.B.C.D/PREFIX. Pure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace batch {

inline constexpr int kWidestScanPrefix = 16;
// The hosts of the widest network a scan takes, its network and broadcast addresses too.
inline constexpr std::uint64_t kMostScanAddresses = std::uint64_t{1} << (32 - kWidestScanPrefix);

struct Cidr {
    std::uint32_t network = 0; // host bits cleared
    int prefix = 32;
};

// Empty, with why, for anything but a dotted IPv4 address and a prefix from 16 to 32, and for a
// network without an address that can be a printer's (posdll/printer_address.h); an address
// without a prefix is that one host (/32).
std::optional<Cidr> parseCidr(const std::string &text, std::string *why);

// The hosts of the network in order, dotted: without the network and broadcast addresses
// below /31, where they are no host's.
std::vector<std::string> cidrHosts(const Cidr &cidr);
// How many they are, and the i-th of them (from 0) in host byte order.
std::size_t cidrHostCount(const Cidr &cidr);
std::uint32_t cidrHost(const Cidr &cidr, std::size_t i);

} // namespace batch
