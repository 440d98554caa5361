#include "batch/json.h"

#include <cstdio>

namespace batch {

namespace {

// Length of the valid UTF-8 sequence at s[i], 0 when there is none.
std::size_t utf8Length(std::string_view s, std::size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t len = 0;
    unsigned min = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
        min = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        min = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        min = 0x10000;
    } else {
        return 0;
    }
    if (i + len > s.size())
        return 0;
    unsigned cp = c & (0x3F >> (len - 1));
    for (std::size_t k = 1; k < len; ++k) {
        const auto cc = static_cast<unsigned char>(s[i + k]);
        if ((cc & 0xC0) != 0x80)
            return 0;
        cp = cp << 6 | (cc & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

} // namespace

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        switch (c) {
        case '"':
            out += "\\\"";
            continue;
        case '\\':
            out += "\\\\";
            continue;
        case '\n':
            out += "\\n";
            continue;
        case '\r':
            out += "\\r";
            continue;
        case '\t':
            out += "\\t";
            continue;
        default:
            break;
        }
        if (c < 0x20 || c == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (const std::size_t len = utf8Length(text, i)) {
            out.append(text.substr(i, len));
            i += len - 1;
        } else {
            out += "\\ufffd";
        }
    }
    return out + "\"";
}

const JsonValue *JsonValue::member(std::string_view key) const {
    for (const auto &[k, v] : members)
        if (k == key)
            return &v;
    return nullptr;
}

namespace {

constexpr int kMaxDepth = 8;

class Reader {
  public:
    explicit Reader(std::string_view text) : m_text(text) {}

    std::optional<JsonValue> document() {
        std::optional<JsonValue> v = value(0);
        skipSpace();
        if (v && m_at != m_text.size())
            return fail("unexpected " + seen() + " after the value");
        return v;
    }

    const std::string &problem() const { return m_problem; }

  private:
    std::optional<JsonValue> fail(const std::string &what) {
        if (m_problem.empty())
            m_problem = what + " at byte " + std::to_string(m_at + 1);
        return std::nullopt;
    }

    bool bad(const std::string &what) {
        fail(what);
        return false;
    }

    std::string seen() const {
        if (m_at >= m_text.size())
            return "end";
        const char c = m_text[m_at];
        return c >= 0x20 && c < 0x7F ? std::string("'") + c + "'" : "byte " + hexOf(c);
    }

    static std::string hexOf(char c) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "0x%02X", static_cast<unsigned char>(c));
        return buf;
    }

    void skipSpace() {
        while (m_at < m_text.size() && (m_text[m_at] == ' ' || m_text[m_at] == '\n' ||
                                        m_text[m_at] == '\r' || m_text[m_at] == '\t'))
            ++m_at;
    }

    bool take(char c) {
        skipSpace();
        if (m_at < m_text.size() && m_text[m_at] == c) {
            ++m_at;
            return true;
        }
        return false;
    }

    std::optional<JsonValue> value(int depth) {
        skipSpace();
        if (m_at >= m_text.size())
            return fail("expected a value, found the end");
        const char c = m_text[m_at];
        if (c == '{')
            return depth < kMaxDepth ? object(depth + 1) : fail("nested too deep");
        if (c == '"') {
            JsonValue v;
            v.type = JsonValue::Type::String;
            if (!string(v.string))
                return std::nullopt;
            return v;
        }
        if (m_text.substr(m_at, 4) == "null") {
            m_at += 4;
            return JsonValue{};
        }
        if (c == '-' || (c >= '0' && c <= '9'))
            return number();
        return fail("unexpected " + seen());
    }

    std::optional<JsonValue> number() {
        const std::size_t start = m_at;
        if (m_text[m_at] == '-')
            ++m_at;
        const std::size_t digits = m_at;
        while (m_at < m_text.size() && m_text[m_at] >= '0' && m_text[m_at] <= '9')
            ++m_at;
        const std::size_t count = m_at - digits;
        if (count == 0 || (count > 1 && m_text[digits] == '0') || count > 18)
            return fail("not a whole number");
        JsonValue v;
        v.type = JsonValue::Type::Number;
        v.number = std::stoll(std::string(m_text.substr(start, m_at - start)));
        return v;
    }

    std::optional<JsonValue> object(int depth) {
        ++m_at; // '{'
        JsonValue v;
        v.type = JsonValue::Type::Object;
        if (take('}'))
            return v;
        do {
            skipSpace();
            std::string key;
            if (m_at >= m_text.size() || m_text[m_at] != '"')
                return fail("expected a key, found " + seen());
            const std::size_t keyAt = m_at;
            if (!string(key))
                return std::nullopt;
            if (v.member(key)) {
                m_at = keyAt;
                return fail("the key " + jsonString(key) + " is repeated");
            }
            if (!take(':'))
                return fail("expected ':', found " + seen());
            std::optional<JsonValue> member = value(depth);
            if (!member)
                return std::nullopt;
            v.members.push_back(JsonMember{std::move(key), std::move(*member)});
        } while (take(','));
        if (!take('}'))
            return fail("expected ',' or '}', found " + seen());
        return v;
    }

    // Four hex digits of a \u escape.
    std::optional<unsigned> hex4() {
        if (m_at + 4 > m_text.size())
            return std::nullopt;
        unsigned n = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = m_text[m_at++];
            const int d = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
            if (d < 0)
                return std::nullopt;
            n = n << 4 | static_cast<unsigned>(d);
        }
        return n;
    }

    static void appendUtf8(std::string &out, unsigned cp) {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | cp >> 6);
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | cp >> 12);
            out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | cp >> 18);
            out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }

    // A \u escape, with the second half of a surrogate pair.
    bool unicodeEscape(std::string &out) {
        std::optional<unsigned> cp = hex4();
        if (cp && *cp >= 0xD800 && *cp <= 0xDBFF) {
            std::optional<unsigned> low;
            if (m_text.substr(m_at, 2) == "\\u") {
                m_at += 2;
                low = hex4();
            }
            cp = low && *low >= 0xDC00 && *low <= 0xDFFF
                     ? std::optional(0x10000 + ((*cp - 0xD800) << 10) + (*low - 0xDC00))
                     : std::nullopt;
        } else if (cp && *cp >= 0xDC00 && *cp <= 0xDFFF) {
            cp.reset();
        }
        if (!cp)
            return bad("a bad \\u escape");
        appendUtf8(out, *cp);
        return true;
    }

    bool string(std::string &out) {
        ++m_at; // '"'
        while (m_at < m_text.size()) {
            const char c = m_text[m_at];
            if (c == '"') {
                ++m_at;
                return true;
            }
            if (static_cast<unsigned char>(c) < 0x20)
                return bad("a control character in a string");
            if (c != '\\') {
                // Bytes that are not UTF-8 stay as they are: the writer never makes them.
                out += c;
                ++m_at;
                continue;
            }
            if (++m_at >= m_text.size())
                break;
            const char e = m_text[m_at++];
            switch (e) {
            case '"':
            case '\\':
            case '/':
                out += e;
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u':
                if (!unicodeEscape(out))
                    return false;
                break;
            default:
                --m_at;
                return bad("a bad escape");
            }
        }
        return bad("a string without its closing quote");
    }

    std::string_view m_text;
    std::size_t m_at = 0;
    std::string m_problem;
};

} // namespace

std::optional<JsonValue> parseJson(std::string_view text, std::string *why) {
    Reader reader(text);
    std::optional<JsonValue> v = reader.document();
    if (!v && why)
        *why = reader.problem();
    return v;
}

} // namespace batch
