#include "device/PosdllFuncs.h"

#include "posdll/posdll.h"

namespace device {

namespace {

class LibraryPosdll final : public PosdllFuncs {
  public:
    int POS_Open(const std::string &name, int baud, int dataBits, int stopBits, int parity,
                 int portType) override {
        return ::POS_Open(name.c_str(), baud, dataBits, stopBits, parity, portType);
    }
    int POS_StartDoc() override { return ::POS_StartDoc(); }
    int POS_WriteFile(int handle, const std::uint8_t *bytes, int count) override {
        return ::POS_WriteFile(handle, bytes, count);
    }
    int POS_EndDoc() override { return ::POS_EndDoc(); }
    int POS_Close() override { return ::POS_Close(); }
    int POS_SetDocName(const std::string &title) override {
        return ::POS_SetDocName(title.c_str());
    }
    std::string POS_LastError() override { return ::POS_LastError(); }
    int POS_ReadFile(int handle, std::uint8_t *buffer, int count, int timeoutMillis) override {
        return ::POS_ReadFile(handle, buffer, count, timeoutMillis);
    }
    int POS_SetTimeouts(int connectMillis, int writeMillis) override {
        return ::POS_SetTimeouts(connectMillis, writeMillis);
    }
    int POS_LastErrorKind() override { return ::POS_LastErrorKind(); }
    int POS_LastErrno() override { return ::POS_LastErrno(); }
    int POS_SetDeliveryWait(int millis) override { return ::POS_SetDeliveryWait(millis); }
    int POS_EndDocLater(POS_PendingEnd **pending) override { return ::POS_EndDocLater(pending); }
    int POS_DiscardInput(int handle) override { return ::POS_DiscardInput(handle); }
};

} // namespace

PosdllFuncs &libraryPosdll() {
    static LibraryPosdll library;
    return library;
}

} // namespace device
