// The four command frames the printer understands. Pure: no I/O.
#pragma once

#include <cstdint>
#include <vector>

namespace protocol {

using Frame = std::vector<std::uint8_t>;

inline constexpr std::uint8_t kFramePrefix[3] = {0x1F, 0x1B, 0x1F};
inline constexpr std::uint8_t kFuncDipSwitch = 0xC0;
inline constexpr std::uint8_t kFuncWriteSetting = 0xA1;
inline constexpr std::uint8_t kFuncSelfTest = 0x93;
inline constexpr std::uint8_t kDipEnable = 0xAA;
inline constexpr std::uint8_t kDipDisable = 0x77;
inline constexpr std::uint8_t kDefaultSetting = 0xFD;

Frame enableFrame();
Frame disableFrame();
Frame selfTestFrame();
Frame writeSettingFrame(std::uint8_t setting);

} // namespace protocol
