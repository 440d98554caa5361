#include "posdll/port_names.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>

namespace posdll {

namespace {

bool allDigits(std::string_view s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A decimal number in [lo, hi] with no sign, blank or leading zero.
std::optional<int> boundedNumber(std::string_view s, int lo, int hi) {
    if (!allDigits(s) || (s.size() > 1 && s[0] == '0') || s.size() > 5)
        return std::nullopt;
    int v = 0;
    for (char c : s)
        v = v * 10 + (c - '0');
    if (v < lo || v > hi)
        return std::nullopt;
    return v;
}

bool validHostName(std::string_view h) {
    if (h.empty() || h.size() > 253)
        return false;
    std::size_t label = 0;
    for (char c : h) {
        if (c == '.') {
            if (label == 0)
                return false;
            label = 0;
            continue;
        }
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_'))
            return false;
        if (++label > 63)
            return false;
    }
    return true;
}

bool digitsAndDots(std::string_view h) {
    return std::all_of(h.begin(), h.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
}

} // namespace

std::optional<int> portNumber(std::string_view name, std::string_view prefix) {
    if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix)
        return std::nullopt;
    return boundedNumber(name.substr(prefix.size()), 1, 255);
}

std::optional<NetworkAddress> parseNetworkAddress(std::string_view text, std::string *why) {
    auto fail = [why](std::string reason) -> std::optional<NetworkAddress> {
        if (why)
            *why = std::move(reason);
        return std::nullopt;
    };
    if (text.empty())
        return fail("the printer's address is empty");
    if (text.find('\0') != std::string_view::npos)
        return fail("the printer's address contains a NUL character");

    NetworkAddress a;
    std::string_view hostPart = text;
    std::string_view portPart;
    if (text.front() == '[') {
        const auto close = text.find(']');
        if (close == std::string_view::npos)
            return fail("missing ']' after the IPv6 address");
        hostPart = text.substr(1, close - 1);
        std::string_view rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':')
                return fail("unexpected text after ']'");
            portPart = rest.substr(1);
            if (portPart.empty())
                return fail("empty port number after ':'");
        }
        in6_addr v6;
        if (!inet_pton(AF_INET6, std::string(hostPart).c_str(), &v6))
            return fail("'" + std::string(hostPart) + "' is not an IPv6 address");
        a.numeric = true;
    } else {
        const auto colon = text.rfind(':');
        if (colon != std::string_view::npos) {
            if (text.find(':') != colon)
                return fail("an IPv6 address must be written in brackets, as [::1]:9100");
            hostPart = text.substr(0, colon);
            portPart = text.substr(colon + 1);
            if (portPart.empty())
                return fail("empty port number after ':'");
        }
        if (hostPart.empty())
            return fail("the printer's address is empty");
        if (digitsAndDots(hostPart)) {
            // Looks like an IPv4 address: it must be one, never a name to look up.
            in_addr v4;
            if (inet_pton(AF_INET, std::string(hostPart).c_str(), &v4) != 1)
                return fail("'" + std::string(hostPart) + "' is not a valid IPv4 address");
            a.numeric = true;
        } else if (!validHostName(hostPart)) {
            return fail("'" + std::string(hostPart) + "' is not a valid IP address or host name");
        }
    }
    a.host = std::string(hostPart);
    if (!portPart.empty()) {
        auto p = boundedNumber(portPart, 1, 65535);
        if (!p)
            return fail("'" + std::string(portPart) + "' is not a TCP port number (1 to 65535)");
        a.port = *p;
    }
    return a;
}

} // namespace posdll
