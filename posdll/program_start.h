// What every posdip program does first, and how it ends when memory runs out.
#pragma once

namespace posdll {

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed, so that no socket or device
// opened later takes the place of standard input, output or error (a result line would then go
// to a printer). Call it first in main, before anything can open a descriptor.
void openMissingStandardDescriptors();

// Says "PROGRAM: out of memory" on standard error without allocating, for main's catch of
// std::bad_alloc.
void reportOutOfMemory(const char *program);

} // namespace posdll
