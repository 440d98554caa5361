#include "batch/cidr.h"

#include "posdll/printer_address.h"
#include "posdll/quoted.h"

#include <arpa/inet.h>

namespace batch {

std::optional<Cidr> parseCidr(const std::string &text, std::string *why) {
    const auto slash = text.find('/');
    const std::string address = text.substr(0, slash);
    in_addr a{};
    if (::inet_pton(AF_INET, address.c_str(), &a) != 1) {
        *why = posdll::quoted(text) + " is not an IPv4 network such as 192.168.1.0/24";
        return std::nullopt;
    }
    const std::string p = slash == std::string::npos ? "32" : text.substr(slash + 1); // one host
    int prefix = -1;
    if (!p.empty() && p.size() <= 2 && p.find_first_not_of("0123456789") == std::string::npos)
        prefix = std::stoi(p);
    if (prefix < kWidestScanPrefix || prefix > 32) {
        *why = posdll::quoted(text) + ": the prefix must be a number from " +
               std::to_string(kWidestScanPrefix) + " to 32 (at most " +
               std::to_string(kMostScanAddresses) + " addresses)";
        return std::nullopt;
    }
    const std::uint32_t mask = ~std::uint32_t{0} << (32 - prefix);
    const Cidr cidr{ntohl(a.s_addr) & mask, prefix};
    // A network of multicast, reserved or "this network" addresses has no printer to find, and
    // a probe to them would leave the machine.
    for (std::size_t i = 0; i < cidrHostCount(cidr); ++i)
        if (!posdll::notAPrinterIpv4(cidrHost(cidr, i)))
            return cidr;
    *why = posdll::quoted(text) + ": no address in it can be a printer (" +
           *posdll::notAPrinterIpv4(cidrHost(cidr, 0)) + ")";
    return std::nullopt;
}

namespace {
// Below /31 the network and broadcast addresses are no host's.
bool edgesAreHosts(const Cidr &cidr) {
    return cidr.prefix >= 31;
}
} // namespace

std::size_t cidrHostCount(const Cidr &cidr) {
    const std::size_t size = std::size_t{1} << (32 - cidr.prefix);
    return edgesAreHosts(cidr) ? size : size - 2;
}

std::uint32_t cidrHost(const Cidr &cidr, std::size_t i) {
    return cidr.network + static_cast<std::uint32_t>(edgesAreHosts(cidr) ? i : i + 1);
}

std::vector<std::string> cidrHosts(const Cidr &cidr) {
    std::vector<std::string> hosts;
    for (std::size_t i = 0; i < cidrHostCount(cidr); ++i) {
        in_addr a{htonl(cidrHost(cidr, i))};
        char text[INET_ADDRSTRLEN];
        ::inet_ntop(AF_INET, &a, text, sizeof text);
        hosts.emplace_back(text);
    }
    return hosts;
}

} // namespace batch
