#include "protocol/printer_id.h"

#include "protocol/frame_decode.h"

#include <algorithm>

namespace protocol {

namespace {

// One-byte ID replies: bits 7 and 4 read 0.
constexpr std::uint8_t kIdFixedMask = 0x90;
// The first byte of an automatic status block: bits 7, 1, 0 read 0 and bit 4 reads 1; the
// other three have bits 7 and 4 at 0, as one-byte ID replies do.
constexpr std::uint8_t kBlockFirstMask = 0x93;
constexpr std::uint8_t kBlockFirstBits = 0x10;
constexpr std::size_t kBlockSize = kAutomaticStatusSize;

struct BlockBit {
    std::size_t byte;
    std::uint8_t mask; // a flag with two bits sets both
    StatusFlag flag;
};

// Where an automatic status block reports each state the status requests report.
constexpr BlockBit kBlockBits[] = {
    {0, 0x04, StatusFlag::DrawerPin3High},     {0, 0x08, StatusFlag::Offline},
    {0, 0x20, StatusFlag::CoverOpen},          {0, 0x40, StatusFlag::FeedingByButton},
    {1, 0x01, StatusFlag::WaitingForRecovery}, {1, 0x08, StatusFlag::AutocutterError},
    {1, 0x20, StatusFlag::UnrecoverableError}, {1, 0x40, StatusFlag::AutoRecoverableError},
    {2, 0x03, StatusFlag::PaperNearEnd},       {2, 0x0C, StatusFlag::PaperEnd},
};

bool printable(std::uint8_t c) {
    return c >= 0x20 && c <= 0x7E;
}

} // namespace

std::optional<IdRequest> idRequestFor(std::uint8_t n) {
    for (IdRequest r : kIdRequests)
        if (static_cast<std::uint8_t>(r) == n)
            return r;
    return std::nullopt;
}

const char *idRequestName(IdRequest request) {
    switch (request) {
    case IdRequest::ModelId:
        return "model id";
    case IdRequest::TypeId:
        return "type id";
    case IdRequest::VersionId:
        return "version id";
    case IdRequest::Firmware:
        return "firmware";
    case IdRequest::Maker:
        return "maker";
    case IdRequest::ModelName:
        return "model name";
    case IdRequest::Serial:
        return "serial number";
    case IdRequest::CharacterSet:
        return "character set";
    }
    return "";
}

bool repliesWithText(IdRequest request) {
    return static_cast<std::uint8_t>(request) >= static_cast<std::uint8_t>(IdRequest::Firmware);
}

bool isIdByte(std::uint8_t byte) {
    return (byte & kIdFixedMask) == 0;
}

bool startsAutomaticStatus(std::uint8_t byte) {
    return (byte & kBlockFirstMask) == kBlockFirstBits;
}

std::string describeTypeId(std::uint8_t byte) {
    std::string s;
    if (byte & kTypeMultiByte)
        s = "multi-byte characters";
    if (byte & kTypeCutter)
        s += std::string(s.empty() ? "" : ", ") + "cutter";
    return s.empty() ? "none" : s;
}

std::string idTextProblem(std::string_view text) {
    if (text.size() > kIdTextMax)
        return "longer than " + std::to_string(kIdTextMax) + " characters";
    for (char c : text)
        if (!printable(static_cast<std::uint8_t>(c)))
            return "not printable ASCII";
    return "";
}

std::vector<std::uint8_t> encodeIdText(std::string_view text) {
    std::vector<std::uint8_t> bytes(text.size() + 2, kIdTextHeader);
    std::copy(text.begin(), text.end(), bytes.begin() + 1);
    bytes.back() = 0x00;
    return bytes;
}

std::array<std::uint8_t, 4> encodeAutomaticStatus(const PrinterCondition &condition) {
    std::array<std::uint8_t, kBlockSize> block = {kBlockFirstBits, 0, 0, 0};
    // The same states the four status answers report.
    for (StatusRequest request : kStatusRequests)
        for (StatusFlag flag : decodeStatus(request, encodeStatus(request, condition)).flags)
            for (const BlockBit &b : kBlockBits)
                if (b.flag == flag)
                    block[b.byte] |= b.mask;
    return block;
}

IdReplyReader::Progress IdReplyReader::take(const std::uint8_t *bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
        take(bytes[i]);
    return m_progress;
}

IdReplyReader::Progress IdReplyReader::take(std::uint8_t byte) {
    if (m_progress == Progress::Invalid || byte == kXon || byte == kXoff)
        return m_progress;
    const std::string request = "GS I " + std::to_string(static_cast<int>(m_request));
    if (m_blockLeft > 0) {
        if (!isIdByte(byte))
            return fail(hexByte(byte) + " in an automatic status block");
        --m_blockLeft;
        return m_progress;
    }
    if (m_inText) {
        if (byte == 0x00) {
            m_inText = false;
            return m_progress = Progress::Complete;
        }
        if (!printable(byte))
            return fail(hexByte(byte) + " in the text answering " + request);
        if (m_text.size() == kIdTextMax)
            return fail("the text answering " + request + " is longer than " +
                        std::to_string(kIdTextMax) + " bytes");
        m_text += static_cast<char>(byte);
        return m_progress;
    }
    if (startsAutomaticStatus(byte)) {
        m_blockLeft = kBlockSize - 1;
        return m_progress;
    }
    if (m_progress == Progress::Complete)
        return fail(hexByte(byte) + " after the reply to " + request);
    if (repliesWithText(m_request) ? byte != kIdTextHeader : !isIdByte(byte))
        return fail(hexByte(byte) + " is no reply to " + request);
    if (repliesWithText(m_request)) {
        m_inText = true;
        return m_progress;
    }
    m_byte = byte;
    return m_progress = Progress::Complete;
}

IdReplyReader::Progress IdReplyReader::fail(std::string problem) {
    m_problem = std::move(problem);
    return m_progress = Progress::Invalid;
}

} // namespace protocol
