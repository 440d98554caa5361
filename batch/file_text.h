// Whole small files: read at once, and replaced at once so that a reader sees the old text or
// the new, never part of either.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace batch {

// The file's text; empty with errno set when it cannot be read (ENOENT when it is missing,
// EFBIG when it holds more than maxBytes).
std::optional<std::string> readWholeFile(const std::string &path, std::size_t maxBytes);

// Writes PATH.tmp.PID in the same folder, flushes it to the disk, renames it over PATH and
// flushes the folder; returns 0 or the errno of the step that failed, and then PATH is as it was.
int replaceFile(const std::string &path, const std::string &text);

} // namespace batch
