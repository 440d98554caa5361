// User text (port names, addresses, queue names, target lines, a server's reasons) as it may be
// put into a message: quoted, so its ends show, and with nothing in it that can drive a terminal.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace posdll {

// 'text' with control characters (C0, DEL, C1), backslashes and bytes that are not UTF-8 written
// as \xNN; other characters, non-ASCII ones included, stay as they are. Cut after maxChars
// characters with "...".
std::string quoted(std::string_view text, std::size_t maxChars = 64);

// The same escaping without the quotes and, unless maxChars is given, uncut: for text shown in
// its place on a terminal, such as a printer's name at the start of a result line.
std::string escaped(std::string_view text, std::size_t maxChars = std::string_view::npos);

} // namespace posdll
