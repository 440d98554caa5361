#include "posdll/transport.h"
namespace posdll {
std::unique_ptr<Transport> openParallel(const std::string &portName) { setLastError("parallel: " + portName + " not built yet"); return nullptr; }
}
