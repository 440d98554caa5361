#include "device/printers.h"

#include "posdll/cups_connection.h"

#include <memory>

namespace device {

namespace {

struct IppDelete {
    void operator()(ipp_t *ipp) const { ippDelete(ipp); }
};

class SystemPrinters final : public PrinterSource {
  public:
    PrinterList list() override { return installedPrinters(); }
};

} // namespace

// One CUPS-Get-Printers request: the server answers with its queues and classes sorted by name,
// the order `lpstat -e` shows. (cupsGetDests2 would add a second request, and with it a second
// wait on a server that does not answer.)
PrinterList installedPrinters() {
    PrinterList result;
    result.server = posdll::cups::serverName();
    const posdll::cups::Connection http = posdll::cups::connect(result.error);
    if (!http)
        return result;
    ipp_t *request = ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
                 "printer-name");
    const std::unique_ptr<ipp_t, IppDelete> response(cupsDoRequest(http.get(), request, "/"));
    // A server without queues answers "not found"; no answer at all leaves the response null.
    const ipp_status_t status = cupsLastError();
    if (!response ||
        (status > IPP_STATUS_OK_EVENTS_COMPLETE && status != IPP_STATUS_ERROR_NOT_FOUND)) {
        result.error =
            "the print server " + result.server +
            " did not answer the request for its printers: " + posdll::cups::lastReason(http.get());
        return result;
    }
    for (ipp_attribute_t *a = ippFindAttribute(response.get(), "printer-name", IPP_TAG_NAME); a;
         a = ippFindNextAttribute(response.get(), "printer-name", IPP_TAG_NAME))
        result.names.emplace_back(ippGetString(a, 0, nullptr));
    return result;
}

PrinterSource &systemPrinters() {
    static SystemPrinters printers;
    return printers;
}

} // namespace device
