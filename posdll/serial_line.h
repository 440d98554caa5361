// The serial line settings as termios flags. Pure: no I/O.
#pragma once

#include "posdll/transport.h"

#include <optional>
#include <string>
#include <termios.h>

namespace posdll {

// Why the line cannot be had ("12345 bit/s is not a standard baud rate ..."), or nothing.
std::optional<std::string> lineProblem(const SerialLine &line);

// t made raw, at the line's rate, size, stop bits and parity, with no flow control of any
// kind and the modem lines ignored. The line must have no problem.
termios rawLine(termios t, const SerialLine &line);

// What of the wanted settings a device did not take ("7 data bits"), or nothing.
std::optional<std::string> lineMismatch(const termios &wanted, const termios &got);

} // namespace posdll
