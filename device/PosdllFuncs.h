// The device library's operations, as the layers above call them. The real library sits behind
// libraryPosdll(); unit tests of the window and the actions pass a recording stand-in instead.
#pragma once

#include <cstdint>
#include <string>

struct POS_PendingEnd; // posdll/posdll.h

namespace device {

class PosdllFuncs {
  public:
    virtual ~PosdllFuncs() = default;
    virtual int POS_Open(const std::string &name, int baud, int dataBits, int stopBits, int parity,
                         int portType) = 0;
    virtual int POS_StartDoc() = 0;
    virtual int POS_WriteFile(int handle, const std::uint8_t *bytes, int count) = 0;
    virtual int POS_EndDoc() = 0;
    virtual int POS_Close() = 0;
    virtual int POS_SetDocName(const std::string &title) = 0;
    virtual std::string POS_LastError() = 0;
    virtual int POS_ReadFile(int handle, std::uint8_t *buffer, int count, int timeoutMillis) = 0;
    virtual int POS_SetTimeouts(int connectMillis, int writeMillis) = 0;
    virtual int POS_LastErrorKind() = 0;
    virtual int POS_LastErrno() = 0;
    virtual int POS_SetDeliveryWait(int millis) = 0;
    // Ends the document, handing a network printer's wait for its acknowledgement over
    // (device/pending_end.h). One that ends every document itself hands nothing over.
    virtual int POS_EndDocLater(POS_PendingEnd **pending) {
        *pending = nullptr;
        return POS_EndDoc();
    }
    virtual int POS_DiscardInput(int handle) = 0;
};

// Passes every call on to another library; a subclass overrides the calls it changes.
class ForwardingPosdll : public PosdllFuncs {
  public:
    explicit ForwardingPosdll(PosdllFuncs &lib) : m_lib(lib) {}
    int POS_Open(const std::string &name, int baud, int dataBits, int stopBits, int parity,
                 int portType) override {
        return m_lib.POS_Open(name, baud, dataBits, stopBits, parity, portType);
    }
    int POS_StartDoc() override { return m_lib.POS_StartDoc(); }
    int POS_WriteFile(int handle, const std::uint8_t *bytes, int count) override {
        return m_lib.POS_WriteFile(handle, bytes, count);
    }
    int POS_EndDoc() override { return m_lib.POS_EndDoc(); }
    int POS_Close() override { return m_lib.POS_Close(); }
    int POS_SetDocName(const std::string &title) override { return m_lib.POS_SetDocName(title); }
    std::string POS_LastError() override { return m_lib.POS_LastError(); }
    int POS_ReadFile(int handle, std::uint8_t *buffer, int count, int timeoutMillis) override {
        return m_lib.POS_ReadFile(handle, buffer, count, timeoutMillis);
    }
    int POS_SetTimeouts(int connectMillis, int writeMillis) override {
        return m_lib.POS_SetTimeouts(connectMillis, writeMillis);
    }
    int POS_LastErrorKind() override { return m_lib.POS_LastErrorKind(); }
    int POS_LastErrno() override { return m_lib.POS_LastErrno(); }
    int POS_SetDeliveryWait(int millis) override { return m_lib.POS_SetDeliveryWait(millis); }
    int POS_EndDocLater(POS_PendingEnd **pending) override {
        return m_lib.POS_EndDocLater(pending);
    }
    int POS_DiscardInput(int handle) override { return m_lib.POS_DiscardInput(handle); }

  protected:
    PosdllFuncs &m_lib;
};

// The library linked into the program.
PosdllFuncs &libraryPosdll();

} // namespace device
