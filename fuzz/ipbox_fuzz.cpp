// libFuzzer target for the IP address box's dotted-text rules. The input is read as UTF-16 code
// units, low byte first; the first unit is the character to count, the rest the text.
#include "controls/ip_address_text.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

void check(bool holds) {
    if (!holds)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    std::u16string units(size / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
    const std::u16string_view all(units);
    const std::u16string_view ch = all.substr(0, 1);
    const std::u16string_view text = all.empty() ? all : all.substr(1);

    const controls::CountResult counted = controls::countIf(text, ch);
    if (counted.error == controls::IpTextError::None)
        check(counted.count >= 0 && std::size_t(counted.count) <= 2 * text.size());
    else
        check(counted.count == 0);

    const controls::ParseResult parsed = controls::parseDotted(all);
    if (parsed.error != controls::IpTextError::None) {
        check(parsed.packed == 0);
        return 0;
    }
    // What the box accepts, it shows as plain dotted text that reads back the same.
    const std::u16string shown = controls::formatDotted(parsed.packed);
    const controls::ParseResult again = controls::parseDotted(shown);
    check(again.error == controls::IpTextError::None && again.packed == parsed.packed);
    check(controls::packFields(controls::unpackFields(parsed.packed)) == parsed.packed);
    return 0;
}
