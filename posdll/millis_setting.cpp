#include "posdll/millis_setting.h"

#include <cstdlib>

namespace posdll {

std::chrono::milliseconds millisSetting(const char *text, long least,
                                        std::chrono::milliseconds fallback) {
    char *end = nullptr;
    const long millis = text ? std::strtol(text, &end, 10) : 0;
    const bool valid = text && *text && *end == '\0' && millis >= least && millis <= 600000;
    return valid ? std::chrono::milliseconds(millis) : fallback;
}

} // namespace posdll
