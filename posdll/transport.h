// The inside of the device library: one Transport per kind of port, behind the C dispatcher.
#pragma once

#include <chrono>
#include <memory>
#include <string>

namespace posdll {

// What the thread asked of the end of a document.
struct Ending {
    std::chrono::milliseconds deliveryWait{0}; // print queues: 0 = the job taken is enough
};

// An open port. Each failing call records its reason with setLastError and returns false / -1.
class Transport {
  public:
    virtual ~Transport() = default;
    virtual bool startDoc(const std::string & /*title*/) { return true; }
    // Writes all of count bytes within a bounded time; returns count, or -1.
    virtual int write(const unsigned char *bytes, int count) = 0;
    virtual bool endDoc() { return true; }
    // Releases the port; the destructor releases it too, so close() only reports failures.
    virtual bool close() = 0;
};

struct SerialLine {
    int baud = 19200;
    int dataBits = 8;
    int stopBits = 0; // 0 = one, 2 = two
    int parity = 0;   // 0 none, 1 odd, 2 even
};

// Each returns nullptr after recording the reason.
std::unique_ptr<Transport> openNetwork(const std::string &address);
std::unique_ptr<Transport> openSerial(const std::string &portName, const SerialLine &line);
std::unique_ptr<Transport> openParallel(const std::string &portName);
std::unique_ptr<Transport> openSpool(const std::string &queue);

void setLastError(std::string reason);
const std::string &lastError();
// What this thread asked of the end of its documents (POS_SetDeliveryWait).
const Ending &requestedEnding();

} // namespace posdll
