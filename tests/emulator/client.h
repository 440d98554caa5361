// A client of the emulator on loopback: connect, send bytes, see how the connection ends.
#pragma once

#include "support/posix_peers.h"

#include <netinet/in.h>
#include <string>

namespace testing_support {

inline Fd connectTo(const std::string &address) {
    Fd c(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(std::stoi(address.substr(address.find(':') + 1))));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(c.get(), reinterpret_cast<sockaddr *>(&a), sizeof a) != 0)
        c.reset();
    return c;
}

inline bool sendAll(int fd, const Bytes &bytes) {
    return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(bytes.size());
}

// How a connection ended, as its reader sees it.
enum class Ending { Orderly, Reset, StillOpen, Data };

// Waits up to the bound for the connection's end.
inline Ending endingOf(int fd, milliseconds bound) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(bound.count())) <= 0)
        return Ending::StillOpen;
    unsigned char b;
    const ssize_t n = ::recv(fd, &b, 1, MSG_DONTWAIT);
    if (n == 0)
        return Ending::Orderly;
    return n < 0 && errno == ECONNRESET ? Ending::Reset : Ending::Data;
}

} // namespace testing_support
