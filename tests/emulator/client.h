// A client of the emulator on loopback: connect, send bytes, see how the connection ends.
#pragma once

#include "support/posix_peers.h"

#include <netinet/in.h>
#include <string>

namespace testing_support {

// bufferBytes, when given, shrinks both socket buffers, so a client that neither reads nor
// writes much soon fills them.
inline Fd connectTo(const std::string &address, int bufferBytes = 0) {
    Fd c(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    for (int option : {SO_RCVBUF, SO_SNDBUF})
        if (bufferBytes)
            ::setsockopt(c.get(), SOL_SOCKET, option, &bufferBytes, sizeof bufferBytes);
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

// Sends the chunk over and over, each time from where the last send left off, until the peer
// has taken nothing for 300 ms. The bytes sent, or nothing when the cap was reached first or a
// send failed.
inline std::optional<std::size_t> sendUntilStuck(int fd, const Bytes &chunk, std::size_t cap) {
    if (::fcntl(fd, F_SETFL, O_NONBLOCK) != 0)
        return std::nullopt;
    std::size_t sent = 0;
    while (sent < cap) {
        const std::size_t at = sent % chunk.size();
        const ssize_t n = ::send(fd, chunk.data() + at, chunk.size() - at, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EAGAIN) {
            // Wait a little: the peer would read now if it read at all.
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, 300) == 0)
                return sent;
        } else {
            return std::nullopt;
        }
    }
    return std::nullopt;
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
