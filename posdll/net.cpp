#include "posdll/transport.h"
namespace posdll {
std::unique_ptr<Transport> openNetwork(const std::string &address) { setLastError("network: " + address + " not built yet"); return nullptr; }
}
