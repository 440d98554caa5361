#include "posdll/cups_library.h"

namespace posdll {

std::string cupsLoadFailure(const std::string &library, const std::string &loaderError) {
    if (loaderError.find("No such file") != std::string::npos)
        return "the CUPS library " + library + " is not installed (apt install libcups2)";
    return "the CUPS library cannot be loaded: " + (loaderError.empty() ? library : loaderError);
}

} // namespace posdll
