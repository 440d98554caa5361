#include "device/printers.h"

#include "posdll/cups_connection.h"

namespace device {

// The destinations CUPS lists (cupsGetDests2, as `lpstat -e` shows them), without the instances
// that lpoptions files add: an instance is the same queue with other options, and a raw job
// ignores options.
std::vector<std::string> installedPrinters() {
    std::string why;
    const posdll::cups::Connection http = posdll::cups::connect(why);
    if (!http)
        return {};
    posdll::cups::SigpipeGuard guard;
    cups_dest_t *dests = nullptr;
    const int count = cupsGetDests2(http.get(), &dests);
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i)
        if (!dests[i].instance)
            names.emplace_back(dests[i].name);
    cupsFreeDests(count, dests);
    return names;
}

} // namespace device
