#include "protocol/frames.h"

namespace protocol {

namespace {

Frame dipSwitchFrame(std::uint8_t last) {
    return {0x1F, 0x1B, 0x1F, kFuncDipSwitch, 0x15, 0x14, 0x13, 0x12, 0x11, 0x10, last};
}

} // namespace

Frame enableFrame() {
    return dipSwitchFrame(kDipEnable);
}

Frame disableFrame() {
    return dipSwitchFrame(kDipDisable);
}

Frame selfTestFrame() {
    return {0x1F, 0x1B, 0x1F, kFuncSelfTest, 0x10, 0x11, 0x12, 0x15, 0x16, 0x17, 0x10, 0x00};
}

Frame writeSettingFrame(std::uint8_t setting) {
    return {0x1F, 0x1B, 0x1F, kFuncWriteSetting, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, setting};
}

} // namespace protocol
