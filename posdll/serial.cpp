#include "posdll/transport.h"
namespace posdll {
std::unique_ptr<Transport> openSerial(const std::string &portName, const SerialLine &) { setLastError("serial: " + portName + " not built yet"); return nullptr; }
}
