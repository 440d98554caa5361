// Port names and network addresses as a user may type them.
#include "posdll/port_names.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    for (const char *prefix : {"COM", "LPT"}) {
        if (auto n = posdll::portNumber(text, prefix); n && (*n < 1 || *n > 255))
            std::abort();
    }
    std::string why;
    if (auto a = posdll::parseNetworkAddress(text, &why)) {
        if (a->host.empty() || a->port < 1 || a->port > 65535)
            std::abort();
        if (a->host.find('\0') != std::string::npos)
            std::abort();
    } else if (why.empty()) {
        std::abort(); // a refusal always says why
    }
    return 0;
}
