// How one exchange with a printer ended, in words a script can act on: the kind of failure and
// the stage it ended in.
#pragma once

namespace device {

enum class FailKind {
    Ok,
    Spooled, // handed to a print queue; whether it printed is the queue's business
    Refused,
    Timeout,
    Unreachable, // no route to the printer's network or host
    Reset,
    Closed,
    Busy,
    Denied,
    Missing,
    NotADevice,
    Queue,
    NotReady,
    CannotVerify, // the port passes nothing back, so the printer's status cannot be read
    Usage,
    NoDescriptors, // this process or the system had no file descriptor left to open the port
    Internal,
};

enum class Stage { Open, Status, Write, End, Close };

// "ok", "spooled", "refused", ... "not-a-device", "not-ready", "cannot-verify", "usage",
// "no-descriptors",
// "internal"
const char *failKindName(FailKind kind);
// "open", "status", "write", "end", "close"
const char *stageName(Stage stage);

// The kind a POS_ERR_ code of the device library stands for.
FailKind failKindOfLibraryError(int code);

} // namespace device
