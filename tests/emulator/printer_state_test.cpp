#include "printer_state.h"

#include <gtest/gtest.h>

using emulator::formatState;
using emulator::parseState;
using emulator::PrinterState;

TEST(emulator_state_text_test, every_state_reads_back_as_written) {
    std::string why;
    for (bool dip : {true, false})
        for (int b = 0; b < 256; ++b) {
            const PrinterState s{dip, static_cast<std::uint8_t>(b)};
            EXPECT_EQ(parseState(formatState(s), &why), s) << why;
        }
    EXPECT_EQ(formatState({}), "# posdip-emulator: what the printer keeps across restarts\n"
                               "dip-switches enabled\nsetting 0xFD\n");
}

TEST(emulator_state_text_test, written_by_hand_in_any_order_and_line_ending) {
    std::string why;
    const auto s =
        parseState("\r\n  # kept by hand\r\nsetting 0x3d\r\n\tdip-switches disabled\r\n", &why);
    ASSERT_TRUE(s) << why;
    EXPECT_EQ(*s, (PrinterState{false, 0x3D}));
    for (const char *bad : {"setting 0x3D 0x3E\ndip-switches enabled\n", "setting\n",
                            "setting 0x1FD\ndip-switches enabled\n", "setting 0x\n",
                            "setting 0xG1\ndip-switches enabled\n"})
        EXPECT_FALSE(parseState(bad, &why)) << bad;
}
