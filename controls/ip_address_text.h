// The dotted text of the IP address box: dot counting, parsing, packing and formatting.
// Plain C++ over UTF-16 code units, without Qt, so it can be tested and fuzzed without a window.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace controls {

// The numbered errors the box raises; the numbers are part of its interface.
enum class IpTextError : int {
    None = 0,
    InvalidCall = 5, // counting with an empty character over a non-empty text
    Overflow = 6,    // a text too long to count, or a field outside 0 to 255
    MissingPart = 9, // fewer than four parts after the split
    NotANumber = 13, // a part that is not a number, an empty part included
    BadFormat = 102, // fewer than three dots
};

// The description that goes with each number; empty for None.
std::u16string_view ipTextErrorDescription(IpTextError error);

// Texts of this many code units or more are refused with Overflow: the byte index of the
// count is a signed 16-bit value.
inline constexpr std::size_t kCountLimit = 16384;

struct CountResult {
    IpTextError error = IpTextError::None;
    std::int16_t count = 0;
};

// Counts the bytes of `expr` (two per code unit, low byte first) equal to the 8-bit code of the
// first character of `ch`. Characters below 256 are their own code; any other has no 8-bit code
// and never matches. So U+042E and U+2E00..U+2EFF each count once for ".", and a NUL character
// also matches every zero high byte. An empty `ch` is InvalidCall as soon as there is a byte to
// compare. The length limit is checked first, so a text that is too long is Overflow even when
// `ch` is empty.
CountResult countIf(std::u16string_view expr, std::u16string_view ch);

struct FieldResult {
    IpTextError error = IpTextError::None;
    std::uint8_t value = 0;
};

// Converts one part of the dotted text. Accepted: optional blanks (space, tab) around an optional
// sign ("+" or "-") directly followed by one or more ASCII digits; leading zeros are fine ("010"
// is 10, "-0" is 0). Anything else (empty, other characters, exponents, hexadecimal, other
// digit scripts) is NotANumber; a number outside 0 to 255 is Overflow.
FieldResult convertField(std::u16string_view part);

struct ParseResult {
    IpTextError error = IpTextError::None;
    std::uint32_t packed = 0;
};

// Parses a write of the box's address: fewer than three dots (as countIf counts them) is
// BadFormat; then the text is split at every "." and parts 3, 2, 1, 0 are converted in that
// order, the first failure winning (a missing part is MissingPart). Parts after the fourth are
// ignored.
ParseResult parseDotted(std::u16string_view text);

// f0 (the leftmost field) to f3.
using IpFields = std::array<std::uint8_t, 4>;

// f0 in bits 24 to 31 ... f3 in bits 0 to 7.
std::uint32_t packFields(const IpFields &fields);
IpFields unpackFields(std::uint32_t packed);

// "f0.f1.f2.f3" in decimal without leading zeros.
std::u16string formatDotted(std::uint32_t packed);

} // namespace controls
