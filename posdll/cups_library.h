// What a program without the CUPS library is told. Pure.
#pragma once

#include <string>

namespace posdll {

// "the CUPS library libcups.so.2 is not installed (apt install libcups2)" when the loader found
// no such file; else "the CUPS library cannot be loaded: " and the loader's words.
std::string cupsLoadFailure(const std::string &library, const std::string &loaderError);

} // namespace posdll
