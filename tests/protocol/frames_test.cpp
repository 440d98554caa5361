#include "protocol/frames.h"

#include <gtest/gtest.h>

using protocol::Frame;

TEST(frames_test, each_frame_is_byte_exact) {
    EXPECT_EQ(protocol::enableFrame(),
              (Frame{0x1F, 0x1B, 0x1F, 0xC0, 0x15, 0x14, 0x13, 0x12, 0x11, 0x10, 0xAA}));
    EXPECT_EQ(protocol::disableFrame(),
              (Frame{0x1F, 0x1B, 0x1F, 0xC0, 0x15, 0x14, 0x13, 0x12, 0x11, 0x10, 0x77}));
    EXPECT_EQ(protocol::selfTestFrame(),
              (Frame{0x1F, 0x1B, 0x1F, 0x93, 0x10, 0x11, 0x12, 0x15, 0x16, 0x17, 0x10, 0x00}));
    EXPECT_EQ(protocol::writeSettingFrame(0xFD),
              (Frame{0x1F, 0x1B, 0x1F, 0xA1, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0xFD}));
}

TEST(frames_test, enable_and_disable_differ_only_in_the_last_byte) {
    const Frame e = protocol::enableFrame(), d = protocol::disableFrame();
    ASSERT_EQ(e.size(), d.size());
    for (std::size_t i = 0; i + 1 < e.size(); ++i)
        EXPECT_EQ(e[i], d[i]) << "byte " << i;
    EXPECT_NE(e.back(), d.back());
}

TEST(frames_test, write_setting_carries_any_byte_last) {
    for (int b : {0x00, 0x3D, 0x7D, 0xBD, 0xFF}) {
        const Frame f = protocol::writeSettingFrame(static_cast<std::uint8_t>(b));
        ASSERT_EQ(f.size(), 11u);
        EXPECT_EQ(f[10], b);
        EXPECT_EQ(f[3], 0xA1);
    }
}
