// The device library's operations, as the layers above call them. The real library sits behind
// libraryPosdll(); unit tests of the window and the actions pass a recording stand-in instead.
#pragma once

#include <cstdint>
#include <string>

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
    virtual int POS_SetDeliveryWait(int millis) = 0;
    virtual int POS_DiscardInput(int handle) = 0;
};

// The library linked into the program.
PosdllFuncs &libraryPosdll();

} // namespace device
