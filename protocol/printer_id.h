// The printer's identity (the "transmit printer ID" request GS I n) and its automatic status
// block, both ways: the bytes a printer sends, and reading them back out of what arrives.
// Pure: no I/O.
#pragma once

#include "protocol/status.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace protocol {

inline constexpr std::uint8_t kGs = 0x1D;
inline constexpr std::uint8_t kIdCommand = 0x49; // 'I'

// The n of GS I n.
enum class IdRequest : std::uint8_t {
    ModelId = 1,
    TypeId = 2, // bits kTypeMultiByte, kTypeCutter
    VersionId = 3,
    Firmware = 65,
    Maker = 66,
    ModelName = 67,
    Serial = 68,
    CharacterSet = 69,
};

inline constexpr std::array<IdRequest, 8> kIdRequests = {
    IdRequest::ModelId, IdRequest::TypeId,    IdRequest::VersionId, IdRequest::Firmware,
    IdRequest::Maker,   IdRequest::ModelName, IdRequest::Serial,    IdRequest::CharacterSet};

inline constexpr std::uint8_t kTypeMultiByte = 0x01;
inline constexpr std::uint8_t kTypeCutter = 0x02;

// A text reply: this byte, the text, then NUL.
inline constexpr std::uint8_t kIdTextHeader = 0x5F;
inline constexpr std::size_t kIdTextMax = 80;

// Flow control a printer may send between replies.
inline constexpr std::uint8_t kXon = 0x11;
inline constexpr std::uint8_t kXoff = 0x13;

constexpr std::array<std::uint8_t, 3> idRequestBytes(IdRequest request) {
    return {kGs, kIdCommand, static_cast<std::uint8_t>(request)};
}

// Empty for an n the printer is not asked.
std::optional<IdRequest> idRequestFor(std::uint8_t n);
// "model id", "type id", "version id", "firmware", "maker", "model name", "serial number",
// "character set"
const char *idRequestName(IdRequest request);
// n = 65 and up answer with text, the others with one byte.
bool repliesWithText(IdRequest request);

// Whether the byte has the fixed bits of a one-byte reply (0xx0xxxx).
bool isIdByte(std::uint8_t byte);
// "multi-byte characters, cutter", or "none"
std::string describeTypeId(std::uint8_t byte);

// Empty when the text can be a text reply (printable ASCII, at most 80 characters), else why
// it cannot.
std::string idTextProblem(std::string_view text);
// kIdTextHeader, the text, NUL. The text must pass idTextProblem.
std::vector<std::uint8_t> encodeIdText(std::string_view text);

// Whether the byte starts a 4-byte automatic status block (0xx1xx00), which a printer with
// automatic status on sends unasked, between or before the replies to requests.
bool startsAutomaticStatus(std::uint8_t byte);
inline constexpr std::size_t kAutomaticStatusSize = 4;

// The four bytes of automatic status the printer sends in this condition.
std::array<std::uint8_t, 4> encodeAutomaticStatus(const PrinterCondition &condition);

// Reads the reply to one GS I n out of the bytes as they arrive, passing over automatic status
// blocks, XON and XOFF.
class IdReplyReader {
  public:
    enum class Progress { Incomplete, Complete, Invalid };

    explicit IdReplyReader(IdRequest request) : m_request(request) {}

    Progress take(std::uint8_t byte);
    Progress take(const std::uint8_t *bytes, std::size_t count);
    Progress progress() const { return m_progress; }

    // Once complete: the byte of a one-byte reply, the text of a text reply.
    std::uint8_t byte() const { return m_byte; }
    const std::string &text() const { return m_text; }
    // Once invalid: what was wrong, e.g. "0x92 is no reply to GS I 1".
    const std::string &problem() const { return m_problem; }

  private:
    Progress fail(std::string problem);

    IdRequest m_request;
    Progress m_progress = Progress::Incomplete;
    bool m_inText = false;       // the header came, the NUL not yet
    std::size_t m_blockLeft = 0; // bytes of an automatic status block still to come
    std::uint8_t m_byte = 0;
    std::string m_text;
    std::string m_problem;
};

} // namespace protocol
