// A stand-in for the device library that records every call and answers as told.
#pragma once

#include "device/PosdllFuncs.h"

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

struct RecordedOpen {
    std::string name;
    int baud, dataBits, stopBits, parity, portType;
    bool operator==(const RecordedOpen &) const = default;
};

class RecordingPosdll : public device::PosdllFuncs {
  public:
    // What the calls answer.
    int openResult = 7;
    int startDocResult = 0;
    int writeResult = -2; // -2: the full count
    int endDocResult = 0;
    int closeResult = 0;
    std::string lastError;
    int lastErrorKind = 0;            // a POS_ERR_ code
    int lastErrno = 0;                // the system's error behind it
    std::vector<int> readResults;     // what each read returns, in turn; -1 once they run out
    std::vector<std::uint8_t> answer; // the bytes reads hand out, one a read
    int connectMillis = 0, writeMillis = 0;

    // What was called, in order: "open", "start", "write", "read", "end", "close", "docname",
    // "timeouts".
    std::vector<std::string> calls;
    std::vector<RecordedOpen> opens;
    std::vector<std::vector<std::uint8_t>> writes;
    std::vector<int> writeHandles;
    std::string docName;
    int deliveryWait = 0; // the last POS_SetDeliveryWait

    int POS_Open(const std::string &name, int baud, int dataBits, int stopBits, int parity,
                 int portType) override {
        calls.push_back("open");
        opens.push_back({name, baud, dataBits, stopBits, parity, portType});
        return openResult;
    }
    int POS_StartDoc() override {
        calls.push_back("start");
        return startDocResult;
    }
    int POS_WriteFile(int handle, const std::uint8_t *bytes, int count) override {
        calls.push_back("write");
        writeHandles.push_back(handle);
        writes.emplace_back(bytes, bytes + count);
        return writeResult == -2 ? count : writeResult;
    }
    int POS_EndDoc() override {
        calls.push_back("end");
        return endDocResult;
    }
    int POS_Close() override {
        calls.push_back("close");
        return closeResult;
    }
    int POS_SetDocName(const std::string &title) override {
        calls.push_back("docname");
        docName = title;
        return 0;
    }
    std::string POS_LastError() override { return lastError; }
    int POS_SetDeliveryWait(int millis) override {
        deliveryWait = millis;
        return 0;
    }
    int POS_ReadFile(int, std::uint8_t *buffer, int, int) override {
        calls.push_back("read");
        const std::size_t n = reads++;
        const int r = n < readResults.size() ? readResults[n] : -1;
        if (r > 0)
            buffer[0] = n < answer.size() ? answer[n] : 0;
        return r > 0 ? 1 : r;
    }
    int POS_SetTimeouts(int connect, int write) override {
        calls.push_back("timeouts");
        connectMillis = connect;
        writeMillis = write;
        return 0;
    }
    int POS_LastErrorKind() override { return lastErrorKind; }
    int POS_LastErrno() override { return lastErrno; }
    int POS_DiscardInput(int) override {
        calls.push_back("discard");
        return 0;
    }

  private:
    std::size_t reads = 0;
};

} // namespace testing_support
