#include "protocol/setting_byte.h"

#include <gtest/gtest.h>

using protocol::Baud;
using protocol::CharsPerLine;
using protocol::Density;
using protocol::SettingChoices;

namespace {

// The choices of the byte 0x00: every bit 0.
SettingChoices zeroChoices() {
    SettingChoices c;
    c.beeper = true;
    c.baud = Baud::Rate38400;
    return c;
}

SettingChoices defaultWithBaud(Baud baud) {
    SettingChoices c = protocol::defaultChoices();
    c.baud = baud;
    return c;
}

} // namespace

TEST(setting_byte_test, extremes_and_default) {
    const SettingChoices ones{true, false,          Density::Light, true, CharsPerLine::Chars48,
                              true, Baud::Rate19200};
    EXPECT_EQ(protocol::composeSettingByte(ones), 0xFF);
    EXPECT_EQ(protocol::composeSettingByte(zeroChoices()), 0x00);
    EXPECT_EQ(protocol::composeSettingByte(protocol::defaultChoices()), 0xFD);
}

TEST(setting_byte_test, baud_codes_are_not_in_speed_order) {
    EXPECT_EQ(protocol::composeSettingByte(defaultWithBaud(Baud::Rate9600)), 0xBD);
    EXPECT_EQ(protocol::composeSettingByte(defaultWithBaud(Baud::Rate115200)), 0x7D);
    EXPECT_EQ(protocol::composeSettingByte(defaultWithBaud(Baud::Rate38400)), 0x3D);
    EXPECT_EQ(protocol::composeSettingByte(defaultWithBaud(Baud::Rate19200)), 0xFD);
}

TEST(setting_byte_test, each_bit_follows_its_function) {
    void (*const flips[6])(SettingChoices &) = {
        [](SettingChoices &c) { c.cutter = true; },
        [](SettingChoices &c) { c.beeper = false; },
        [](SettingChoices &c) { c.density = Density::Light; },
        [](SettingChoices &c) { c.twoByteCode = true; },
        [](SettingChoices &c) { c.charsPerLine = CharsPerLine::Chars48; },
        [](SettingChoices &c) { c.paperTakenDetect = true; },
    };
    for (int bit = 0; bit < 6; ++bit) {
        SettingChoices c = zeroChoices();
        flips[bit](c);
        EXPECT_EQ(protocol::composeSettingByte(c), 1 << bit) << "bit " << bit;
    }
}

TEST(setting_byte_test, explain_names_the_seven_choices) {
    const auto c = protocol::explainSettingByte(0xFD);
    EXPECT_TRUE(c.cutter);
    EXPECT_TRUE(c.beeper);
    EXPECT_EQ(c.density, Density::Light);
    EXPECT_TRUE(c.twoByteCode);
    EXPECT_EQ(c.charsPerLine, CharsPerLine::Chars48);
    EXPECT_TRUE(c.paperTakenDetect);
    EXPECT_EQ(c.baud, Baud::Rate19200);
    EXPECT_EQ(protocol::describeSettingByte(0xFD),
              "cutter yes, beeper yes, density light, two-byte yes, 48 chars, paper-taken yes, "
              "19200 bps");
    EXPECT_EQ(
        protocol::describeSettingByte(0x02),
        "cutter no, beeper no, density dark, two-byte no, 42 chars, paper-taken no, 38400 bps");
}

TEST(setting_byte_test, every_byte_round_trips_through_its_choices) {
    for (int b = 0; b < 256; ++b)
        EXPECT_EQ(protocol::composeSettingByte(protocol::explainSettingByte(b)), b);
}

TEST(setting_byte_test, baud_rates_are_read_only_as_written) {
    EXPECT_EQ(protocol::baudRateChoices("|"), "9600|19200|38400|115200");
    for (int rate : protocol::kBaudRates) {
        EXPECT_EQ(protocol::knownBaud(std::to_string(rate)), rate);
        EXPECT_EQ(protocol::baudRate(*protocol::baudOfRate(rate)), rate);
    }
    EXPECT_FALSE(protocol::baudOfRate(57600));
    for (const char *text : {"", "0", "019200", "19200 ", "+9600", "1200", "115200x", "9600.0"})
        EXPECT_EQ(protocol::knownBaud(text), 0) << text;
    EXPECT_EQ(protocol::defaultBaud(), 19200);
}
