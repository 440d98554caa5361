#include "device/port_access.h"

#include "device/port_kind.h"
#include "posdll/posdll.h"
#include "posdll/quoted.h"

#include <algorithm>
#include <charconv>

namespace device {

using posdll::quoted;

namespace {

OpenResult refused(std::string reason) {
    return OpenResult{-1, std::move(reason), FailKind::Usage};
}

bool hasNul(const std::string &s) {
    return s.find('\0') != std::string::npos;
}

OpenResult call(PosdllFuncs &lib, const std::string &name, int baud, int dataBits, int portType) {
    if (hasNul(name))
        return refused("the name " + quoted(name.substr(0, name.find('\0'))) +
                       "... contains a NUL character");
    OpenResult r;
    r.handle = lib.POS_Open(name, baud, dataBits, 0, 0, portType);
    if (r.handle == -1) {
        r.reason = lib.POS_LastError();
        r.kind = lastFailKind(lib);
        r.error = lib.POS_LastErrno();
        if (r.reason.empty())
            r.reason = "the device library could not open " + quoted(name);
    }
    return r;
}

} // namespace

OpenResult OpenPort(PosdllFuncs &lib, const PortInputs &in) {
    switch (portKindOf(in.portName)) {
    case PortKind::Ethernet:
        return call(lib, in.ipText, 0, 0, POS_PORT_NETWORK);
    case PortKind::Serial: {
        int baud = 0;
        const char *b = in.baudText.data();
        const char *e = b + in.baudText.size();
        const auto [end, ec] = std::from_chars(b, e, baud);
        if (ec != std::errc() || end != e || baud <= 0)
            return refused("baud rate " + quoted(in.baudText) + " is not a number");
        return call(lib, in.portName, baud, 8, POS_PORT_SERIAL);
    }
    case PortKind::Parallel:
        return call(lib, in.portName, 0, 0, POS_PORT_PARALLEL);
    case PortKind::Driver:
        if (in.printerName.empty())
            return refused(in.printerListError.empty()
                               ? "no printer is selected (no print queue is installed)"
                               : "no printer is selected: " + in.printerListError);
        return call(lib, in.printerName, 0, 0, POS_PORT_SPOOL);
    case PortKind::Unknown:
        break;
    }
    return refused("port name " + quoted(in.portName) +
                   " is not one of ETHERNET, COMn, LPTn, DRIVER");
}

int ClosePort(PosdllFuncs &lib) {
    return lib.POS_Close();
}

FailKind lastFailKind(PosdllFuncs &lib) {
    return failKindOfLibraryError(lib.POS_LastErrorKind());
}

WriteResult failedStep(const char *step, Stage stage, FailKind kind, const std::string &why,
                       int error) {
    WriteResult r{false, std::string(step) + " failed" + (why.empty() ? "" : ": " + why), kind,
                  stage};
    r.error = error;
    return r;
}

WriteResult writeTransaction(PosdllFuncs &lib, int handle, const protocol::Frame &frame,
                             const std::string &docName) {
    WriteResult r{true, {}};
    auto check = [&](bool stepOk, const char *step, Stage stage) {
        if (!stepOk && r.ok)
            r = failedStep(step, stage, lastFailKind(lib), lib.POS_LastError(),
                           lib.POS_LastErrno());
    };
    lib.POS_SetDocName(docName);
    check(lib.POS_StartDoc() >= 0, "start of document", Stage::Write);
    const int count = static_cast<int>(frame.size());
    const int written = lib.POS_WriteFile(handle, frame.data(), count);
    if (written >= 0 && written < count && r.ok) {
        r.ok = false;
        r.reason = "only " + std::to_string(written) + " of " + std::to_string(count) +
                   " bytes were written";
        r.kind = FailKind::Internal;
        r.stage = Stage::Write;
    }
    check(written >= 0, "write", Stage::Write);
    check(lib.POS_EndDoc() >= 0, kEndStep, Stage::End);
    check(ClosePort(lib) >= 0, kCloseStep, Stage::Close);
    r.written = std::max(written, 0);
    return r;
}

} // namespace device
