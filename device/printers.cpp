#include "device/printers.h"

#include "posdll/cups_connection.h"

namespace device {

// One CUPS-Get-Printers request: the server answers with its queues and classes sorted by name,
// the order `lpstat -e` shows. (cupsGetDests2 would add a second request, and with it a second
// wait on a server that does not answer.)
std::vector<std::string> installedPrinters() {
    std::string why;
    const posdll::cups::Connection http = posdll::cups::connect(why);
    if (!http)
        return {};
    ipp_t *request = ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
                 "printer-name");
    ipp_t *response = cupsDoRequest(http.get(), request, "/"); // null when there is no answer
    std::vector<std::string> names;
    for (ipp_attribute_t *a = ippFindAttribute(response, "printer-name", IPP_TAG_NAME); a;
         a = ippFindNextAttribute(response, "printer-name", IPP_TAG_NAME))
        names.emplace_back(ippGetString(a, 0, nullptr));
    ippDelete(response);
    return names;
}

} // namespace device
