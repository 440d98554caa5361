// Opening a port by its kind, and the one write transaction of an action.
#pragma once

#include "device/PosdllFuncs.h"
#include "device/failure.h"
#include "protocol/frames.h"

#include <string>

namespace device {

// What the window (or the command line) gives for the connection.
struct PortInputs {
    std::string portName;    // ETHERNET, COMn, LPTn, DRIVER (or typed text)
    std::string ipText;      // used for ETH
    std::string baudText;    // used for COM
    std::string printerName; // used for DRI
    // Why the printer list is empty when the print server could not be asked; empty otherwise.
    std::string printerListError = {};
};

struct OpenResult {
    int handle = -1;    // -1: not open
    std::string reason; // why not, when handle is -1
    FailKind kind = FailKind::Ok;
    int error = 0; // errno behind the failure, 0 when none
    bool opened() const { return handle != -1; }
};

// Calls POS_Open with the arguments for the port's kind. A name of no known kind, a baud text
// that is no number, or a text with a NUL makes no call and fails with the reason.
OpenResult OpenPort(PosdllFuncs &lib, const PortInputs &in);

int ClosePort(PosdllFuncs &lib);

// The kind of the library's last failure.
FailKind lastFailKind(PosdllFuncs &lib);

struct WriteResult {
    bool ok = false;
    std::string reason; // the first step that failed, and the library's reason
    FailKind kind = FailKind::Ok;
    Stage stage = Stage::Close; // the first step that failed; Close when none did
    int written = 0;            // bytes the port took; 0 when the write failed
    int error = 0;              // errno behind the failure, 0 when none
};

// The steps of a transaction that end it, as its reasons name them.
inline constexpr const char *kEndStep = "end of document";
inline constexpr const char *kCloseStep = "close";

// The result of a transaction whose `step` failed, the library giving `why` and the system's
// error behind it.
WriteResult failedStep(const char *step, Stage stage, FailKind kind, const std::string &why,
                       int error);

// Start document, write the whole frame, end document, close: every step runs even after a
// failure, so the port is always released.
WriteResult writeTransaction(PosdllFuncs &lib, int handle, const protocol::Frame &frame,
                             const std::string &docName);

} // namespace device
