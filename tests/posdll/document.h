// One document through the C API of libposdll, as the write transaction does it.
#pragma once

#include "posdll/posdll.h"
#include "support/posix_peers.h"

#include <string>

namespace testing_support {

struct DocResult {
    int handle = -1;
    int start = -1;
    int written = -1;
    int end = -1;
    int close = -1;
    std::string error; // the reason of the first call that failed, "" when none did
    int err = 0;       // the system's error behind it (POS_LastErrno)
    bool ok(std::size_t count) const {
        return handle > 0 && start == 0 && written == static_cast<int>(count) && end == 0 &&
               close == 0;
    }
};

// A write bound of 1 s on this thread while it lives, so a test of that bound waits little.
struct ShortWriteBound {
    ShortWriteBound() { POS_SetTimeouts(0, 1000); }
    ~ShortWriteBound() { POS_SetTimeouts(0, 0); }
    ShortWriteBound(const ShortWriteBound &) = delete;
    ShortWriteBound &operator=(const ShortWriteBound &) = delete;
};

struct Line {
    int baud = 0;
    int dataBits = 0;
    int stopBits = 0;
    int parity = 0;
};

// Opens, then starts, writes, ends and closes, every step even after a failure (as the
// program does); stops after a failed open.
inline DocResult sendDocument(const std::string &name, int portType, const Bytes &bytes,
                              Line line = {}) {
    DocResult r;
    auto note = [&r](bool failed) {
        if (failed && r.error.empty()) {
            r.error = POS_LastError();
            r.err = POS_LastErrno();
        }
    };
    r.handle =
        POS_Open(name.c_str(), line.baud, line.dataBits, line.stopBits, line.parity, portType);
    note(r.handle == -1);
    if (r.handle == -1)
        return r;
    r.start = POS_StartDoc();
    note(r.start != 0);
    r.written = POS_WriteFile(r.handle, bytes.data(), static_cast<int>(bytes.size()));
    note(r.written != static_cast<int>(bytes.size()));
    r.end = POS_EndDoc();
    note(r.end != 0);
    r.close = POS_Close();
    note(r.close != 0);
    return r;
}

inline Bytes frameBytes() { // a store-setting frame
    return {0x1F, 0x1B, 0x1F, 0xA1, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0xFD};
}

} // namespace testing_support
