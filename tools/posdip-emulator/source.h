// One line to a sender, a TCP connection or the pseudo-terminal: the frames it is cutting and
// the answers the line has not taken yet.
#pragma once

#include "posdll/fd.h"
#include "protocol/frame_decode.h"

#include <cstdint>
#include <string>
#include <vector>

namespace emulator {

struct Source {
    posdll::Fd fd;
    std::string name;
    posdll::FdKind kind = posdll::FdKind::Socket;
    protocol::FrameScanner scanner;
    bool stalled = false; // never read; only its end is watched
    bool ended = false;   // the sender ended its side; let go once the answers are out
    std::vector<std::uint8_t> unsent;

    // Not while answers pile up that the line does not take: a sender that never reads is then
    // held up by its own full buffer, and the emulator's memory stays bounded.
    bool mayRead() const;
    // What to poll it for.
    short events() const;
    // Writes what the line takes of the waiting answers. A connection keeps the rest for later;
    // the terminal drops it, as a serial line nobody listens to loses it, and *dropped says how
    // many bytes. The errno of a failed write, or 0.
    int flush(std::size_t *dropped);
};

} // namespace emulator
