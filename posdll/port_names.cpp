#include "posdll/port_names.h"
#include "posdll/quoted.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <cctype>

namespace posdll {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool allDigits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), isDigit);
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
    return std::all_of(h.begin(), h.end(), [](char c) { return isDigit(c) || c == '.'; });
}

// Four decimal fields of one to three digits, each 0 to 255; leading zeros are decimal, as
// an address box shows them ("192.168.001.010" is 192.168.1.10).
std::optional<std::string> dottedQuad(std::string_view h) {
    std::array<int, 4> field{};
    std::size_t f = 0;
    std::size_t digits = 0;
    for (char c : h) {
        if (c == '.') {
            if (digits == 0 || ++f == field.size())
                return std::nullopt;
            digits = 0;
        } else if (!isDigit(c) || ++digits > 3) {
            return std::nullopt;
        } else {
            field[f] = field[f] * 10 + (c - '0');
        }
    }
    if (f != 3 || digits == 0 ||
        std::any_of(field.begin(), field.end(), [](int v) { return v > 255; }))
        return std::nullopt;
    return std::to_string(field[0]) + '.' + std::to_string(field[1]) + '.' +
           std::to_string(field[2]) + '.' + std::to_string(field[3]);
}

// inet_aton also reads "127.1", "0x7f.0.0.1" and "017.0.0.1" (octal) as addresses, and so
// does a name lookup; such text is neither a dotted quad nor a host name.
bool otherNumberForm(const std::string &h) {
    in_addr a;
    return inet_aton(h.c_str(), &a) != 0;
}

} // namespace

std::optional<int> portNumber(std::string_view name, std::string_view prefix) {
    if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix)
        return std::nullopt;
    return boundedNumber(name.substr(prefix.size()), 1, 255);
}

std::optional<NetworkAddress> parseNetworkAddress(std::string_view text, std::string *why,
                                                  int minPort) {
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
    bool hasPort = false;
    if (text.front() == '[') {
        const auto close = text.find(']');
        if (close == std::string_view::npos)
            return fail("missing ']' after the IPv6 address");
        hostPart = text.substr(1, close - 1);
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':')
                return fail("unexpected text after ']' in " + quoted(text));
            portPart = rest.substr(1);
            hasPort = true;
        }
        in6_addr v6;
        if (inet_pton(AF_INET6, std::string(hostPart).c_str(), &v6) != 1)
            return fail(quoted(hostPart) + " is not an IPv6 address");
        a.host = std::string(hostPart);
        a.numeric = true;
    } else {
        const auto colon = text.rfind(':');
        if (colon != std::string_view::npos) {
            if (text.find(':') != colon)
                return fail("an IPv6 address must be written in brackets, as [::1]:9100");
            hostPart = text.substr(0, colon);
            portPart = text.substr(colon + 1);
            hasPort = true;
        }
        if (hostPart.empty())
            return fail("the printer's address is empty");
        if (digitsAndDots(hostPart)) {
            // Looks like an IPv4 address: it must be one, never a name to look up.
            auto quad = dottedQuad(hostPart);
            if (!quad)
                return fail(quoted(hostPart) +
                            " is not a valid IPv4 address (four numbers 0 to 255, as 10.0.0.5)");
            a.host = *quad;
            a.numeric = true;
        } else if (!validHostName(hostPart)) {
            return fail(quoted(hostPart) + " is not a valid IP address or host name");
        } else if (otherNumberForm(std::string(hostPart))) {
            return fail(quoted(hostPart) +
                        " is not a valid IPv4 address (four decimal numbers 0 to 255)");
        } else {
            a.host = std::string(hostPart);
        }
    }
    if (hasPort) {
        if (portPart.empty())
            return fail("empty port number after ':'");
        auto p = boundedNumber(portPart, minPort, 65535);
        if (!p)
            return fail(quoted(portPart) + " is not a TCP port number (" + std::to_string(minPort) +
                        " to 65535)");
        a.port = *p;
    }
    return a;
}

std::string formatAddress(const std::string &host, int port) {
    const bool v6 = host.find(':') != std::string::npos;
    return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::optional<std::string> queueNameProblem(std::string_view name) {
    bool valid = !name.empty() && name.size() <= 127;
    for (const unsigned char c : name)
        valid = valid && c > ' ' && c != 0x7F && c != '/' && c != '#' && c != '\\' && c != '\'' &&
                c != '"';
    if (valid)
        return std::nullopt;
    return "not a queue name (1 to 127 printable characters without space, /, #, \\ or quotes)";
}

} // namespace posdll
