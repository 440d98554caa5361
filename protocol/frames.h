// The four command frames the printer understands, described once: the builders, the frame
// scanner and the decoder all read kFrameLayouts. Pure: no I/O.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace protocol {

using Frame = std::vector<std::uint8_t>;

// What a run of bytes asks of the printer; the first four are the command frames.
enum class FrameKind { Enable, Disable, WriteSetting, SelfTest, StatusRequest, IdRequest, Unknown };

inline constexpr std::array<std::uint8_t, 3> kFramePrefix = {0x1F, 0x1B, 0x1F};
inline constexpr std::uint8_t kDefaultSetting = 0xFD;

// One command frame: the prefix, the function byte, the fixed body and, for the write-setting
// frame, the setting byte last.
struct FrameLayout {
    FrameKind kind;
    std::uint8_t function;
    std::array<std::uint8_t, 8> body;
    std::size_t bodyLength;
    bool endsWithSetting;
    const char *meaning; // "enable DIP switch": what a decoded frame says it asks

    constexpr std::size_t length() const {
        return kFramePrefix.size() + 1 + bodyLength + (endsWithSetting ? 1 : 0);
    }
    std::span<const std::uint8_t> fixedBody() const { return {body.data(), bodyLength}; }
};

inline constexpr FrameLayout kFrameLayouts[] = {
    {FrameKind::Enable,
     0xC0,
     {0x15, 0x14, 0x13, 0x12, 0x11, 0x10, 0xAA},
     7,
     false,
     "enable DIP switch"},
    {FrameKind::Disable,
     0xC0,
     {0x15, 0x14, 0x13, 0x12, 0x11, 0x10, 0x77},
     7,
     false,
     "disable DIP switch"},
    {FrameKind::WriteSetting, 0xA1, {0x10, 0x11, 0x12, 0x13, 0x14, 0x15}, 6, true, "store setting"},
    {FrameKind::SelfTest,
     0x93,
     {0x10, 0x11, 0x12, 0x15, 0x16, 0x17, 0x10, 0x00},
     8,
     false,
     "print self-test"},
};

// The length of every frame that starts with the prefix and this function byte; nothing for a
// function byte no frame has.
std::optional<std::size_t> frameLengthOf(std::uint8_t function);

// The layout the bytes are a whole frame of, or none.
const FrameLayout *layoutOf(const std::uint8_t *bytes, std::size_t count);

Frame enableFrame();
Frame disableFrame();
Frame selfTestFrame();
Frame writeSettingFrame(std::uint8_t setting);

} // namespace protocol
