// The C entry points: argument checks, the per-thread open port, and the dispatch by port type.
#include "posdll/posdll.h"

#include "posdll/guarded.h"
#include "posdll/transport.h"

#include <algorithm>
#include <string>

namespace posdll {

namespace {

using std::chrono::milliseconds;

struct ThreadState {
    std::unique_ptr<Transport> port;
    int handle = 0;
    std::string docName = "posdip";
};

thread_local ThreadState t_state;
thread_local int t_nextHandle = 1;

int fail(std::string reason, ErrorKind kind = POS_ERR_BAD_ARGUMENT) {
    setLastError(std::move(reason), kind);
    return -1;
}

// The thread has no port open any more.
void forgetPort() {
    t_state.port.reset();
    t_state.handle = 0;
    t_state.docName = "posdip";
}

bool havePort(const char *call) {
    if (t_state.port)
        return true;
    setLastError(std::string(call) + ": no port is open");
    return false;
}

// A port is open and handle is the one POS_Open gave for it.
bool haveHandle(const char *call, int handle) {
    if (!havePort(call))
        return false;
    if (handle == t_state.handle)
        return true;
    fail(std::string(call) + ": handle " + std::to_string(handle) + " is not the open port (" +
         std::to_string(t_state.handle) + ")");
    return false;
}

} // namespace

} // namespace posdll

using namespace posdll;

extern "C" int POS_Open(const char *name, int baud, int dataBits, int stopBits, int parity,
                        int portType) {
    return guarded([&] {
        t_state.port.reset(); // one port at a time
        t_state.handle = 0;
        if (!name)
            return fail("no port name given");
        const std::string n(name);
        std::unique_ptr<Transport> port;
        switch (portType) {
        case POS_PORT_NETWORK:
            port = openNetwork(n);
            break;
        case POS_PORT_SERIAL:
            port = openSerial(n, SerialLine{baud, dataBits, stopBits, parity});
            break;
        case POS_PORT_PARALLEL:
            port = openParallel(n);
            break;
        case POS_PORT_SPOOL:
            port = openSpool(n);
            break;
        default:
            return fail("unknown port type " + std::to_string(portType) +
                        " (1 serial, 18 parallel, 20 print queue, 21 network)");
        }
        if (!port)
            return -1;
        t_state.port = std::move(port);
        t_state.handle = t_nextHandle;
        t_nextHandle = t_nextHandle == 0x7FFFFFFF ? 1 : t_nextHandle + 1;
        setLastError("");
        return t_state.handle;
    });
}

extern "C" int POS_StartDoc(void) {
    return guarded([&] {
        if (!havePort("start document"))
            return -1;
        return t_state.port->startDoc(t_state.docName) ? 0 : -1;
    });
}

extern "C" int POS_WriteFile(int handle, const unsigned char *bytes, int count) {
    return guarded([&] {
        if (!haveHandle("write", handle))
            return -1;
        if (count < 0 || (count > 0 && !bytes))
            return fail("write: no bytes given");
        if (count == 0)
            return 0;
        return t_state.port->write(bytes, count);
    });
}

extern "C" int POS_ReadFile(int handle, unsigned char *buffer, int count, int timeoutMillis) {
    return guarded([&] {
        if (!haveHandle("read", handle))
            return -1;
        if (count < 1 || !buffer)
            return fail("read: no room for bytes given");
        return t_state.port->read(buffer, count, milliseconds(std::max(timeoutMillis, 0)));
    });
}

extern "C" int POS_DiscardInput(int handle) {
    return guarded([&] {
        if (!haveHandle("discard input", handle))
            return -1;
        return t_state.port->discardInput() ? 0 : -1;
    });
}

extern "C" int POS_SetTimeouts(int connectMillis, int writeMillis) {
    setWaits(connectMillis, writeMillis);
    return 0;
}

extern "C" int POS_EndDoc(void) {
    return guarded([&] {
        if (!havePort("end document"))
            return -1;
        return t_state.port->endDoc() ? 0 : -1;
    });
}

extern "C" int POS_EndDocLater(POS_PendingEnd **pending) {
    return guarded([&] {
        if (!pending)
            return fail("end document: no place for the pending end given");
        *pending = nullptr;
        if (!havePort("end document"))
            return -1;
        bool ok = false;
        std::unique_ptr<POS_PendingEnd> handedOver = t_state.port->endDocLater(ok);
        if (!handedOver)
            return ok ? 0 : -1;
        forgetPort(); // the connection is the pending end's now
        *pending = handedOver.release();
        return 0;
    });
}

extern "C" int POS_PendingEndFd(const POS_PendingEnd *pending) {
    return pending ? pending->fd.get() : -1;
}

extern "C" int POS_PendingEndCheck(POS_PendingEnd *pending, int *waitMillis) {
    return guarded([&] {
        if (!pending || !waitMillis)
            return fail("pending end: none given");
        switch (pending->end.look()) {
        case DocumentEnd::State::Ended:
            return 1;
        case DocumentEnd::State::Failed:
            return -1;
        case DocumentEnd::State::Waiting:
            break;
        }
        *waitMillis = millisecondsLeft(pending->end.nextLook());
        return 0;
    });
}

extern "C" int POS_PendingEndClose(POS_PendingEnd *pending) {
    return guarded([&] {
        if (!pending)
            return fail("close: no pending end given");
        const std::unique_ptr<POS_PendingEnd> owned(pending);
        return closeConnection(owned->fd, owned->end.label()) ? 0 : -1;
    });
}

extern "C" int POS_Close(void) {
    return guarded([&] {
        if (!havePort("close"))
            return -1;
        const bool ok = t_state.port->close();
        forgetPort();
        return ok ? 0 : -1;
    });
}

extern "C" int POS_SetDocName(const char *title) {
    return guarded([&] {
        if (!title)
            return fail("no document name given");
        t_state.docName = title;
        return 0;
    });
}

extern "C" int POS_SetDeliveryWait(int millis) {
    return guarded([&] {
        if (millis < 0)
            return fail("delivery wait of " + std::to_string(millis) + " ms: not 0 or more");
        setDeliveryWait(milliseconds(millis));
        return 0;
    });
}

extern "C" int POS_CutDeliveryWaits(int millis) {
    return guarded([&] {
        if (millis < 0)
            return fail("delivery wait cut to " + std::to_string(millis) + " ms: not 0 or more");
        cutDeliveryWaits(milliseconds(millis));
        return 0;
    });
}

extern "C" const char *POS_LastError(void) {
    return lastError().c_str();
}

extern "C" int POS_LastErrorKind(void) {
    return lastErrorKind();
}

extern "C" int POS_LastErrno(void) {
    return lastErrno();
}
