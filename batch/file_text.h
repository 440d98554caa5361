// Whole small files read at once (batch/metrics.h replaces them at once).
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace batch {

// The file's text; empty with errno set when it cannot be read (ENOENT when it is missing,
// EFBIG when it holds more than maxBytes).
std::optional<std::string> readWholeFile(const std::string &path, std::size_t maxBytes);

} // namespace batch
