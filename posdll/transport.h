// The inside of the device library: one Transport per kind of port, behind the C dispatcher.
#pragma once

#include "posdll/document_end.h"
#include "posdll/posdll.h"

#include <chrono>
#include <memory>
#include <string>

namespace posdll {

// An open port. Each failing call records its reason with setLastError and returns false / -1.
class Transport {
  public:
    virtual ~Transport() = default;
    virtual bool startDoc(const std::string & /*title*/) { return true; }
    // Writes all of count bytes within a bounded time; returns count, or -1.
    virtual int write(const unsigned char *bytes, int count) = 0;
    virtual bool endDoc() { return true; }
    // Ends the document as endDoc() does, except that a port whose end is a wait on the far side
    // hands that wait over: it returns the pending end and keeps nothing of the connection.
    // nullptr when the end is settled already, `ok` telling how.
    virtual std::unique_ptr<POS_PendingEnd> endDocLater(bool &ok) {
        ok = endDoc();
        return nullptr;
    }
    // Reads up to count bytes, waiting at most `wait` for the first; returns the count read,
    // 0 when nothing came, or -1.
    virtual int read(unsigned char *bytes, int count, std::chrono::milliseconds wait) = 0;
    // Throws away unread input; fails with POS_ERR_NO_BACK_CHANNEL on a port that has none.
    virtual bool discardInput() = 0;
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

// One of the POS_ERR_ codes.
using ErrorKind = int;

// Records the reason of the failure the current call returns, its kind and the system's error
// behind it (err, 0 when none: a bad argument, a protocol fault, a bound of our own).
void setLastError(std::string reason, ErrorKind kind = POS_ERR_INTERNAL, int err = 0);

const std::string &lastError();
ErrorKind lastErrorKind();
int lastErrno();

// The bounds POS_SetTimeouts sets for this thread (<= 0: the default).
void setWaits(int connectMillis, int writeMillis);
std::chrono::milliseconds connectWait();
std::chrono::milliseconds writeWait();
// How long this thread's print jobs wait to be delivered (POS_SetDeliveryWait); 0: the job taken
// by the print server is enough.
void setDeliveryWait(std::chrono::milliseconds wait);
std::chrono::milliseconds deliveryWait();
// When every delivery wait of the process ends at the latest (POS_CutDeliveryWaits); the far
// future until a cut.
void cutDeliveryWaits(std::chrono::milliseconds fromNow);
std::chrono::steady_clock::time_point deliveryWaitsEnd();

} // namespace posdll
