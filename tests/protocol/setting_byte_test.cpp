#include "protocol/setting_byte.h"

#include <gtest/gtest.h>

using protocol::OptionStates;

namespace {

OptionStates selected(std::initializer_list<int> indices) {
    OptionStates s{};
    for (int i : indices)
        s[i] = true;
    return s;
}

// The default selection with the baud button changed.
OptionStates defaultWithBaud(int baudOption) {
    OptionStates s = protocol::defaultOptionStates();
    for (int i = 12; i <= 15; ++i)
        s[i] = i == baudOption;
    return s;
}

} // namespace

TEST(setting_byte_test, extremes_and_default) {
    EXPECT_EQ(protocol::composeSettingByte(selected({1, 3, 5, 7, 9, 11, 14})), 0xFF);
    EXPECT_EQ(protocol::composeSettingByte(selected({0, 2, 4, 6, 8, 10, 13})), 0x00);
    EXPECT_EQ(protocol::composeSettingByte(selected({1, 2, 5, 7, 9, 11, 14})), 0xFD);
    EXPECT_EQ(protocol::defaultOptionStates(), selected({1, 2, 5, 7, 9, 11, 14}));
}

TEST(setting_byte_test, baud_codes_are_not_in_speed_order) {
    EXPECT_EQ(protocol::composeSettingByte(defaultWithBaud(12)), 0xBD); // 9600
    EXPECT_EQ(protocol::composeSettingByte(defaultWithBaud(15)), 0x7D); // 115200
    EXPECT_EQ(protocol::composeSettingByte(defaultWithBaud(13)), 0x3D); // 38400
    EXPECT_EQ(protocol::composeSettingByte(defaultWithBaud(14)), 0xFD); // 19200
}

TEST(setting_byte_test, even_buttons_and_38400_are_not_read) {
    // Selecting every even button as well changes nothing: only the odd one of a pair counts.
    OptionStates s = selected({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 13});
    EXPECT_EQ(protocol::composeSettingByte(s), 0x3F);
    EXPECT_EQ(protocol::composeSettingByte(selected({13})), 0x00);
}

TEST(setting_byte_test, each_bit_follows_its_group) {
    for (int bit = 0; bit < 6; ++bit) {
        OptionStates s = selected({0, 2, 4, 6, 8, 10, 13});
        s[2 * bit] = false;
        s[2 * bit + 1] = true;
        EXPECT_EQ(protocol::composeSettingByte(s), 1 << bit) << "group " << bit;
    }
}

TEST(setting_byte_test, explain_names_the_seven_choices) {
    const auto c = protocol::explainSettingByte(0xFD);
    EXPECT_TRUE(c.cutter);
    EXPECT_TRUE(c.beeper);
    EXPECT_EQ(c.density, protocol::Density::Light);
    EXPECT_TRUE(c.twoByteCode);
    EXPECT_EQ(c.charsPerLine, 48);
    EXPECT_TRUE(c.paperTakenDetect);
    EXPECT_EQ(c.baud, 19200);
    EXPECT_EQ(protocol::describeSettingByte(0xFD),
              "cutter yes, beeper yes, density light, two-byte yes, 48 chars, paper-taken yes, "
              "19200 bps");
    EXPECT_EQ(
        protocol::describeSettingByte(0x02),
        "cutter no, beeper no, density dark, two-byte no, 42 chars, paper-taken no, 38400 bps");
}

TEST(setting_byte_test, every_byte_round_trips_through_the_buttons) {
    for (int b = 0; b < 256; ++b) {
        OptionStates s;
        ASSERT_TRUE(protocol::optionStatesFor(protocol::explainSettingByte(b), s)) << b;
        EXPECT_EQ(protocol::composeSettingByte(s), b);
        int perGroup[7] = {};
        for (int i = 0; i < 12; ++i)
            perGroup[i / 2] += s[i];
        for (int i = 12; i < 16; ++i)
            perGroup[6] += s[i];
        for (int g = 0; g < 7; ++g)
            EXPECT_EQ(perGroup[g], 1) << "byte " << b << " group " << g;
    }
}

TEST(setting_byte_test, choices_without_a_button_are_refused) {
    protocol::SettingChoices c;
    OptionStates s{};
    c.baud = 57600;
    EXPECT_FALSE(protocol::optionStatesFor(c, s));
    c.baud = 9600;
    c.charsPerLine = 40;
    EXPECT_FALSE(protocol::optionStatesFor(c, s));
}

TEST(setting_byte_test, several_baud_buttons_or_their_bits_without_touching_the_rest) {
    // Not reachable from the window's exclusive group, but a caller's array may hold it: the
    // byte keeps the six function bits and the baud bits of the buttons given.
    EXPECT_EQ(protocol::composeSettingByte(selected({12, 14})), 0xC0);
    EXPECT_EQ(protocol::composeSettingByte(selected({0, 3, 12, 15})), 0xC2);
    EXPECT_EQ(protocol::composeSettingByte(selected({1, 13, 15})), 0x41);
}

TEST(setting_byte_test, baud_rates_are_read_only_as_written) {
    EXPECT_EQ(protocol::baudRateChoices("|"), "9600|19200|38400|115200");
    for (int rate : protocol::kBaudRates)
        EXPECT_EQ(protocol::knownBaud(std::to_string(rate)), rate);
    for (const char *text : {"", "0", "019200", "19200 ", "+9600", "1200", "115200x", "9600.0"})
        EXPECT_EQ(protocol::knownBaud(text), 0) << text;
    EXPECT_EQ(protocol::defaultBaud(), 19200);
}
