#include "controls/ip_address_text.h"

namespace controls {

namespace {

constexpr int kNoEightBitCode = -1;

// The system's 8-bit code page is taken as Latin-1: characters above it have no single byte.
int eightBitCode(char16_t c) {
    return c < 256 ? static_cast<int>(c) : kNoEightBitCode;
}

bool isBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}
bool isDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

std::u16string_view trimBlanks(std::u16string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

} // namespace

std::u16string_view ipTextErrorDescription(IpTextError error) {
    switch (error) {
    case IpTextError::None:
        return u"";
    case IpTextError::InvalidCall:
        return u"Invalid procedure call or argument";
    case IpTextError::Overflow:
        return u"Overflow";
    case IpTextError::MissingPart:
        return u"Subscript out of range";
    case IpTextError::NotANumber:
        return u"Type mismatch";
    case IpTextError::BadFormat:
        return u"Ip 地址格式错误\r\n正确的格式应该为: 255.255.255.255";
    }
    return u"";
}

CountResult countIf(std::u16string_view expr, std::u16string_view ch) {
    if (expr.size() >= kCountLimit)
        return {IpTextError::Overflow, 0};
    if (expr.empty())
        return {};
    if (ch.empty())
        return {IpTextError::InvalidCall, 0};
    const int code = eightBitCode(ch.front());
    std::int16_t count = 0;
    for (const char16_t unit : expr) {
        count += (unit & 0xFF) == code;
        count += (unit >> 8) == code;
    }
    return {IpTextError::None, count};
}

FieldResult convertField(std::u16string_view part) {
    std::u16string_view s = trimBlanks(part);
    bool negative = false;
    if (!s.empty() && (s.front() == u'+' || s.front() == u'-')) {
        negative = s.front() == u'-';
        s.remove_prefix(1);
    }
    if (s.empty())
        return {IpTextError::NotANumber, 0};
    unsigned value = 0;
    for (const char16_t c : s) {
        if (!isDigit(c))
            return {IpTextError::NotANumber, 0};
        // Stops growing once out of range, so any number of digits is safe.
        if (value <= 255)
            value = value * 10 + static_cast<unsigned>(c - u'0');
    }
    if (value > 255 || (negative && value != 0))
        return {IpTextError::Overflow, 0};
    return {IpTextError::None, static_cast<std::uint8_t>(value)};
}

ParseResult parseDotted(std::u16string_view text) {
    const CountResult dots = countIf(text, u".");
    if (dots.error != IpTextError::None)
        return {dots.error, 0};
    if (dots.count < 3)
        return {IpTextError::BadFormat, 0};

    std::array<std::u16string_view, 4> parts;
    std::size_t found = 0;
    std::size_t start = 0;
    while (found < parts.size()) {
        const std::size_t dot = text.find(u'.', start);
        parts[found++] = text.substr(start, dot - start); // to the end when there is no dot
        if (dot == text.npos)
            break;
        start = dot + 1;
    }

    IpFields fields{};
    for (std::size_t i = parts.size(); i-- > 0;) {
        if (i >= found)
            return {IpTextError::MissingPart, 0};
        const FieldResult field = convertField(parts[i]);
        if (field.error != IpTextError::None)
            return {field.error, 0};
        fields[i] = field.value;
    }
    return {IpTextError::None, packFields(fields)};
}

std::uint32_t packFields(const IpFields &fields) {
    return std::uint32_t{fields[0]} << 24 | std::uint32_t{fields[1]} << 16 |
           std::uint32_t{fields[2]} << 8 | std::uint32_t{fields[3]};
}

IpFields unpackFields(std::uint32_t packed) {
    return {static_cast<std::uint8_t>(packed >> 24), static_cast<std::uint8_t>(packed >> 16),
            static_cast<std::uint8_t>(packed >> 8), static_cast<std::uint8_t>(packed)};
}

std::u16string formatDotted(std::uint32_t packed) {
    std::u16string out;
    for (const std::uint8_t field : unpackFields(packed)) {
        if (!out.empty())
            out += u'.';
        for (const char c : std::to_string(field))
            out += static_cast<char16_t>(c);
    }
    return out;
}

} // namespace controls
