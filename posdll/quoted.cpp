#include "posdll/quoted.h"

namespace posdll {

namespace {

void appendEscaped(std::string &out, unsigned char c) {
    static const char hex[] = "0123456789ABCDEF";
    out += "\\x";
    out += hex[c >> 4];
    out += hex[c & 0xF];
}

// Length of the well-formed UTF-8 sequence at the start of s, 0 when there is none (an ASCII
// byte, a stray continuation byte, an overlong or surrogate form, a cut-off sequence).
std::size_t utf8Length(std::string_view s) {
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = b(0);
    std::size_t n = 0;
    unsigned char lo = 0x80, hi = 0xBF; // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        n = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        n = 3;
        if (lead == 0xE0)
            lo = 0xA0;
        if (lead == 0xED)
            hi = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        n = 4;
        if (lead == 0xF0)
            lo = 0x90;
        if (lead == 0xF4)
            hi = 0x8F;
    } else {
        return 0;
    }
    if (s.size() < n || b(1) < lo || b(1) > hi)
        return 0;
    for (std::size_t i = 2; i < n; ++i)
        if (b(i) < 0x80 || b(i) > 0xBF)
            return 0;
    return n;
}

bool isC1Control(std::string_view seq) {
    return seq.size() == 2 && static_cast<unsigned char>(seq[0]) == 0xC2 &&
           static_cast<unsigned char>(seq[1]) <= 0x9F;
}

} // namespace

std::string quoted(std::string_view text, std::size_t maxChars) {
    return "'" + escaped(text, maxChars) + "'";
}

std::string escaped(std::string_view text, std::size_t maxChars) {
    std::string out;
    std::size_t shown = 0;
    for (std::size_t i = 0; i < text.size(); ++shown) {
        if (shown == maxChars) {
            out += "...";
            break;
        }
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t n = c < 0x80 ? 0 : utf8Length(text.substr(i));
        if (n > 0 && !isC1Control(text.substr(i, n))) {
            out.append(text.substr(i, n));
            i += n;
            continue;
        }
        if (n > 0) { // a C1 control: escape its code point
            appendEscaped(out, static_cast<unsigned char>(text[i + 1]));
            i += n;
            continue;
        }
        if (c < 0x20 || c >= 0x7F || c == '\\')
            appendEscaped(out, c);
        else
            out += static_cast<char>(c);
        ++i;
    }
    return out;
}

} // namespace posdll
