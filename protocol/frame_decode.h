// What a frame asks of the printer, and splitting a byte stream into frames.
#pragma once

#include "protocol/frames.h"
#include "protocol/printer_id.h"
#include "protocol/status.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace protocol {

struct DecodedFrame {
    FrameKind kind = FrameKind::Unknown;
    std::uint8_t setting = 0;                       // WriteSetting only
    StatusRequest request = StatusRequest::Printer; // StatusRequest only
    IdRequest idRequest = IdRequest::ModelId;       // IdRequest only
    std::string description;                        // e.g. "store setting 0xFD: cutter yes, ..."
};

DecodedFrame decodeFrame(const std::uint8_t *bytes, std::size_t count);
inline DecodedFrame decodeFrame(const Frame &f) {
    return decodeFrame(f.data(), f.size());
}

// "0xFD"
std::string hexByte(std::uint8_t byte);

// "1F 1B 1F A1"
std::string toHex(const std::uint8_t *bytes, std::size_t count);
inline std::string toHex(const Frame &f) {
    return toHex(f.data(), f.size());
}

// Parses hex bytes: "1F1B1F", "1f 1b 1f", "0x1F,0x1B". Empty optional on anything else.
std::optional<Frame> parseHex(std::string_view text);

// Cuts a byte stream (as it arrives from a socket or a serial line, in pieces of any size)
// into frames, status requests (DLE EOT n) and printer ID requests (GS I n). Bytes that belong
// to none come out as Unknown chunks.
class FrameScanner {
  public:
    // Appends bytes and returns every frame completed by them.
    std::vector<Frame> feed(const std::uint8_t *bytes, std::size_t count);
    // The end of the stream: whatever is left, as one chunk (empty when nothing is left).
    Frame finish();

  private:
    Frame m_pending;
};

} // namespace protocol
