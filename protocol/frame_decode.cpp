#include "protocol/frame_decode.h"

#include "protocol/setting_byte.h"

#include <algorithm>
#include <cctype>
#include <iterator>

namespace protocol {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

bool startsWithPrefix(const std::uint8_t *p, std::size_t n) {
    return n >= kFramePrefix.size() && std::equal(kFramePrefix.begin(), kFramePrefix.end(), p);
}

constexpr auto kAnyStatusRequest = statusRequestBytes(StatusRequest::Printer);
constexpr auto kAnyIdRequest = idRequestBytes(IdRequest::ModelId);
// Status and ID requests alike: two bytes, then n.
constexpr std::size_t kRequestLength = kAnyStatusRequest.size();
static_assert(kAnyIdRequest.size() == kRequestLength);

// Whether the n bytes at p begin as every request of that shape does, as far as they go.
bool startsLike(const std::array<std::uint8_t, kRequestLength> &shape, const std::uint8_t *p,
                std::size_t n) {
    return std::equal(p, p + std::min(n, kRequestLength - 1), shape.begin());
}

bool isStatusRequest(const std::uint8_t *p, std::size_t n) {
    return n == kRequestLength && startsLike(kAnyStatusRequest, p, n) && statusRequestFor(p[2]);
}

bool isIdRequest(const std::uint8_t *p, std::size_t n) {
    return n == kRequestLength && startsLike(kAnyIdRequest, p, n) && idRequestFor(p[2]);
}

// A status or ID request starts at p (of n bytes to the end).
bool isRequestAt(const std::uint8_t *p, std::size_t n) {
    const std::size_t len = std::min(n, kRequestLength);
    return isStatusRequest(p, len) || isIdRequest(p, len);
}

// Whether the n bytes at p, all that has come so far, may still grow into a frame or a
// request.
bool mayStillStart(const std::uint8_t *p, std::size_t n) {
    return (n < kFramePrefix.size() && std::equal(p, p + n, kFramePrefix.begin())) ||
           (n < kRequestLength &&
            (startsLike(kAnyStatusRequest, p, n) || startsLike(kAnyIdRequest, p, n)));
}

} // namespace

DecodedFrame decodeFrame(const std::uint8_t *bytes, std::size_t count) {
    DecodedFrame d;
    if (const FrameLayout *layout = layoutOf(bytes, count)) {
        d.kind = layout->kind;
        d.description = layout->meaning;
        if (layout->endsWithSetting) {
            d.setting = bytes[count - 1];
            d.description += " " + hexByte(d.setting) + ": " + describeSettingByte(d.setting);
        }
    } else if (isStatusRequest(bytes, count)) {
        d.kind = FrameKind::StatusRequest;
        d.request = *statusRequestFor(bytes[2]);
        d.description = "status request " + std::to_string(bytes[2]) + " (" +
                        statusRequestName(d.request) + ")";
    } else if (isIdRequest(bytes, count)) {
        d.kind = FrameKind::IdRequest;
        d.idRequest = *idRequestFor(bytes[2]);
        d.description = "printer ID request " + std::to_string(bytes[2]) + " (" +
                        idRequestName(d.idRequest) + ")";
    } else {
        d.description = "unknown bytes (" + std::to_string(count) + "): " + toHex(bytes, count);
    }
    return d;
}

std::string hexByte(std::uint8_t byte) {
    return {'0', 'x', kHexDigits[byte >> 4], kHexDigits[byte & 0xF]};
}

std::string toHex(const std::uint8_t *bytes, std::size_t count) {
    std::string s;
    s.reserve(count * 3);
    for (std::size_t i = 0; i < count; ++i) {
        if (i)
            s += ' ';
        s += kHexDigits[bytes[i] >> 4];
        s += kHexDigits[bytes[i] & 0xF];
    }
    return s;
}

std::optional<Frame> parseHex(std::string_view text) {
    Frame out;
    int high = -1;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ' ' || c == ',' || c == ':' || c == '\t' || c == '\n') {
            if (high >= 0)
                return std::nullopt; // a lone nibble
            continue;
        }
        if (c == '0' && i + 1 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
            high < 0) {
            ++i;
            continue;
        }
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
        const int v = std::isdigit(static_cast<unsigned char>(c))
                          ? c - '0'
                          : std::toupper(static_cast<unsigned char>(c)) - 'A' + 10;
        if (high < 0) {
            high = v;
        } else {
            out.push_back(static_cast<std::uint8_t>(high << 4 | v));
            high = -1;
        }
    }
    if (high >= 0 || out.empty())
        return std::nullopt;
    return out;
}

std::vector<Frame> FrameScanner::feed(const std::uint8_t *bytes, std::size_t count) {
    m_pending.insert(m_pending.end(), bytes, bytes + count);
    std::vector<Frame> out;
    std::size_t pos = 0;
    const std::size_t n = m_pending.size();
    const std::uint8_t *p = m_pending.data();
    while (pos < n) {
        // Skip to the next frame or status request; what lies before it is a chunk of its own.
        std::size_t start = pos;
        while (start < n && !startsWithPrefix(p + start, n - start) &&
               !isRequestAt(p + start, n - start)) {
            if (mayStillStart(p + start, n - start)) // still arriving at the very end
                break;
            ++start;
        }
        if (start > pos) {
            out.emplace_back(p + pos, p + start);
            pos = start;
            continue;
        }
        if (isRequestAt(p + pos, n - pos)) {
            out.emplace_back(p + pos, p + pos + kRequestLength);
            pos += kRequestLength;
            continue;
        }
        constexpr std::size_t kHead = kFramePrefix.size() + 1; // the prefix and the function byte
        if (n - pos < kHead)
            break; // prefix complete or partial, function byte still to come
        const std::optional<std::size_t> len = frameLengthOf(p[pos + kFramePrefix.size()]);
        if (!len) {
            out.emplace_back(p + pos, p + pos + kHead);
            pos += kHead;
            continue;
        }
        if (n - pos < *len)
            break;
        out.emplace_back(p + pos, p + pos + *len);
        pos += *len;
    }
    m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(pos));
    return out;
}

Frame FrameScanner::finish() {
    Frame rest;
    rest.swap(m_pending);
    return rest;
}

} // namespace protocol
