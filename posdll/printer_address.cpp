#include "posdll/printer_address.h"

#include <arpa/inet.h>
#include <cstdint>
#include <cstring>
#include <netinet/in.h>

namespace posdll {

namespace {

enum class Refusal { None, Unspecified, ThisNetwork, Broadcast, Multicast, Reserved };

Refusal ofIpv4(std::uint32_t hostOrder) {
    if (hostOrder == INADDR_ANY)
        return Refusal::Unspecified;
    if (hostOrder == INADDR_BROADCAST)
        return Refusal::Broadcast;
    switch (hostOrder >> 28) {
    case 0x0:
        return (hostOrder >> 24) == 0 ? Refusal::ThisNetwork : Refusal::None;
    case 0xE:
        return Refusal::Multicast;
    case 0xF:
        return Refusal::Reserved;
    }
    return Refusal::None;
}

std::optional<std::string> because(Refusal r, const std::string &text) {
    switch (r) {
    case Refusal::None:
        return std::nullopt;
    case Refusal::Unspecified:
        return text + " is the unspecified address, which names no host";
    case Refusal::ThisNetwork:
        return text + " is in 0.0.0.0/8, which names this network only as a source, no host";
    case Refusal::Reserved:
        return text + " is in 240.0.0.0/4, which is reserved and names no host";
    case Refusal::Broadcast:
        return text + " is the broadcast address, which names every host on the network";
    case Refusal::Multicast:
        return text + " is a multicast address, which names a group of hosts";
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> notAPrinterIpv4(std::uint32_t hostOrder) {
    const in_addr a{htonl(hostOrder)};
    char text[INET_ADDRSTRLEN] = "";
    ::inet_ntop(AF_INET, &a, text, sizeof text);
    return because(ofIpv4(hostOrder), text);
}

std::optional<std::string> notAPrinter(const sockaddr *address) {
    char text[INET6_ADDRSTRLEN] = "";
    if (address->sa_family == AF_INET) {
        const auto *v4 = reinterpret_cast<const sockaddr_in *>(address);
        return notAPrinterIpv4(ntohl(v4->sin_addr.s_addr));
    }
    if (address->sa_family != AF_INET6)
        return std::nullopt;
    const auto *v6 = reinterpret_cast<const sockaddr_in6 *>(address);
    ::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
    const unsigned char *b = v6->sin6_addr.s6_addr;
    if (IN6_IS_ADDR_V4MAPPED(&v6->sin6_addr)) {
        std::uint32_t v4;
        std::memcpy(&v4, b + 12, sizeof v4);
        return because(ofIpv4(ntohl(v4)), text);
    }
    if (IN6_IS_ADDR_UNSPECIFIED(&v6->sin6_addr))
        return because(Refusal::Unspecified, text);
    if (b[0] == 0xFF)
        return because(Refusal::Multicast, text);
    return std::nullopt;
}

} // namespace posdll
