// The device library as a batch uses it: the end of a document gives the job slot up first, so
// a network printer's acknowledgement and the watch for a late reset overlap with other
// printers instead of holding a slot (see runner.h).
#pragma once

#include "batch/runner.h"

#include "device/PosdllFuncs.h"

namespace batch {

class EndOutsideSlot final : public device::PosdllFuncs {
  public:
    explicit EndOutsideSlot(device::PosdllFuncs &lib) : m_lib(lib) {}

    int POS_Open(const std::string &name, int baud, int dataBits, int stopBits, int parity,
                 int portType) override {
        return m_lib.POS_Open(name, baud, dataBits, stopBits, parity, portType);
    }
    int POS_StartDoc() override { return m_lib.POS_StartDoc(); }
    int POS_WriteFile(int handle, const std::uint8_t *bytes, int count) override {
        return m_lib.POS_WriteFile(handle, bytes, count);
    }
    int POS_EndDoc() override {
        leaveJobSlot();
        return m_lib.POS_EndDoc();
    }
    int POS_Close() override { return m_lib.POS_Close(); }
    int POS_SetDocName(const std::string &title) override { return m_lib.POS_SetDocName(title); }
    std::string POS_LastError() override { return m_lib.POS_LastError(); }
    int POS_SetDeliveryWait(int millis) override { return m_lib.POS_SetDeliveryWait(millis); }
    int POS_ReadFile(int handle, std::uint8_t *buffer, int count, int timeoutMillis) override {
        return m_lib.POS_ReadFile(handle, buffer, count, timeoutMillis);
    }
    int POS_SetTimeouts(int connectMillis, int writeMillis) override {
        return m_lib.POS_SetTimeouts(connectMillis, writeMillis);
    }
    int POS_LastErrorKind() override { return m_lib.POS_LastErrorKind(); }

  private:
    device::PosdllFuncs &m_lib;
};

} // namespace batch
