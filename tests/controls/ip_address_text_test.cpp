#include "controls/ip_address_text.h"

#include <gtest/gtest.h>

#include <string>

using controls::IpTextError;

namespace {

std::string narrow(std::u16string_view s) {
    std::string out;
    for (const char16_t c : s)
        out += c < 128 ? static_cast<char>(c) : '?';
    return out;
}

} // namespace

TEST(ip_text_count_test, counts_ascii_occurrences_of_the_first_character) {
    EXPECT_EQ(controls::countIf(u"a.b.c", u".").count, 2);
    EXPECT_EQ(controls::countIf(u"a.b.c", u".xyz").count, 2) << "only the first character counts";
    EXPECT_EQ(controls::countIf(u"aXbxc", u"x").count, 1) << "exact byte, no case folding";
    EXPECT_EQ(controls::countIf(u"abc", u".").count, 0);
    EXPECT_EQ(controls::countIf(u"", u".").count, 0);
}

TEST(ip_text_count_test, empty_character_is_an_error_only_when_there_is_a_byte) {
    const controls::CountResult none = controls::countIf(u"", u"");
    EXPECT_EQ(none.error, IpTextError::None);
    EXPECT_EQ(none.count, 0);
    EXPECT_EQ(controls::countIf(u"x", u"").error, IpTextError::InvalidCall);
    EXPECT_EQ(controls::countIf(u"...", u"").error, IpTextError::InvalidCall);
}

TEST(ip_text_count_test, high_and_low_bytes_of_each_code_unit_count) {
    EXPECT_EQ(controls::countIf(u"\u042E", u".").count, 1);
    for (char16_t c = 0x2E00; c <= 0x2EFF; ++c) {
        const std::u16string one(1, c);
        const int expected = c == 0x2E2E ? 2 : 1; // both bytes are 0x2E
        EXPECT_EQ(controls::countIf(one, u".").count, expected) << std::hex << int(c);
    }
    EXPECT_EQ(controls::countIf(u"\u2D2E\u2F2E", u".").count, 2) << "low bytes 0x2E";
    EXPECT_EQ(controls::countIf(u"\u0100\u2D00\u2F00", u".").count, 0);
}

TEST(ip_text_count_test, nul_matches_every_zero_high_byte) {
    const std::u16string nul(1, u'\0');
    EXPECT_EQ(controls::countIf(u"abc", nul).count, 3);
    EXPECT_EQ(controls::countIf(u"\u4E2D", nul).count, 0);
}

TEST(ip_text_count_test, character_without_an_eight_bit_code_never_matches) {
    EXPECT_EQ(controls::countIf(u"\u4E2D\u4E2D", u"\u4E2D").error, IpTextError::None);
    EXPECT_EQ(controls::countIf(u"\u4E2D\u4E2D", u"\u4E2D").count, 0);
    EXPECT_EQ(controls::countIf(u"\u00E9\u00E9", u"\u00E9").count, 2) << "Latin-1 has one byte";
}

TEST(ip_text_count_test, length_limit_is_16384_code_units) {
    const std::u16string below(controls::kCountLimit - 1, u'.');
    const controls::CountResult counted = controls::countIf(below, u".");
    EXPECT_EQ(counted.error, IpTextError::None);
    EXPECT_EQ(counted.count, 16383);

    const std::u16string at(controls::kCountLimit, u'.');
    EXPECT_EQ(controls::countIf(at, u".").error, IpTextError::Overflow);
    EXPECT_EQ(controls::countIf(at + u"x", u".").error, IpTextError::Overflow);
    EXPECT_EQ(controls::countIf(at, u"").error, IpTextError::Overflow) << "limit checked first";
}

TEST(ip_text_field_test, plain_digits_convert_leading_zeros_included) {
    struct Row {
        std::u16string_view part;
        int value;
    } rows[] = {{u"0", 0},  {u"7", 7},  {u"010", 10}, {u"255", 255}, {u"000000255", 255},
                {u"+7", 7}, {u"-0", 0}, {u" 7", 7},   {u"7\t", 7},   {u" \t12  ", 12}};
    for (const Row &r : rows) {
        const controls::FieldResult f = controls::convertField(r.part);
        EXPECT_EQ(f.error, IpTextError::None) << narrow(r.part);
        EXPECT_EQ(f.value, r.value) << narrow(r.part);
    }
}

TEST(ip_text_field_test, anything_but_a_number_is_a_type_mismatch) {
    for (std::u16string_view part :
         {u"", u" ", u"x", u"1x", u"x1", u"1 2", u"+", u"-", u"+-1", u"- 1", u"0x10", u"&H10",
          u"1e2", u"1,0", u"\u0661", u"\uFF11", u"\u00B2"}) {
        EXPECT_EQ(controls::convertField(part).error, IpTextError::NotANumber) << narrow(part);
    }
}

TEST(ip_text_field_test, numbers_outside_a_byte_overflow) {
    for (std::u16string_view part :
         {u"256", u"300", u"-1", u"-255", u"1000", u"99999999999999999999999999999999"}) {
        EXPECT_EQ(controls::convertField(part).error, IpTextError::Overflow) << narrow(part);
    }
}

TEST(ip_text_parse_test, reads_four_parts_and_ignores_the_rest) {
    struct Row {
        std::u16string_view text;
        std::uint32_t packed;
    } rows[] = {
        {u"010.001.000.255", 0x0A0100FF},
        {u"1.2.3.4.5", 0x01020304},
        {u"1.2.3.4.x", 0x01020304},
        {u"1.2.3.4.", 0x01020304},
        {u"255.255.255.255", 0xFFFFFFFF},
        {u"0.0.0.0", 0},
        {u" 192. 168 .+123.100\t", 0xC0A87B64},
    };
    for (const Row &r : rows) {
        const controls::ParseResult p = controls::parseDotted(r.text);
        EXPECT_EQ(p.error, IpTextError::None) << narrow(r.text);
        EXPECT_EQ(p.packed, r.packed) << narrow(r.text);
    }
}

TEST(ip_text_parse_test, each_malformed_text_gives_its_error) {
    struct Row {
        std::u16string_view text;
        IpTextError error;
    } rows[] = {
        {u"1.2.3", IpTextError::BadFormat},
        {u"1.2", IpTextError::BadFormat},
        {u"abc", IpTextError::BadFormat},
        {u"", IpTextError::BadFormat},
        {u"1.2.3\u042E", IpTextError::MissingPart}, // counts three dots, splits into three
        {u"1\u2E00\u2E01\u2E02", IpTextError::MissingPart},
        {u"1..2.3", IpTextError::NotANumber},
        {u"1.2.3.", IpTextError::NotANumber},
        {u"...", IpTextError::NotANumber},
        {u"256.1.1.1", IpTextError::Overflow},
        {u"-1.2.3.4", IpTextError::Overflow},
        {u"300.1.1.x", IpTextError::NotANumber}, // the last part is converted first
        {u"x.1.1.300", IpTextError::Overflow},
        {u"1.x.300.4", IpTextError::Overflow},
        {u"1.300.x.4", IpTextError::NotANumber},
    };
    for (const Row &r : rows) {
        const controls::ParseResult p = controls::parseDotted(r.text);
        EXPECT_EQ(p.error, r.error) << narrow(r.text);
        EXPECT_EQ(p.packed, 0u) << narrow(r.text);
    }
}

TEST(ip_text_parse_test, text_too_long_to_count_overflows) {
    std::u16string text = u"1.2.3.4";
    text.resize(controls::kCountLimit - 1, u' ');
    EXPECT_EQ(controls::parseDotted(text).error, IpTextError::None);
    text += u' ';
    EXPECT_EQ(controls::parseDotted(text).error, IpTextError::Overflow);
}

TEST(ip_text_pack_test, f0_is_the_high_byte) {
    EXPECT_EQ(controls::packFields({1, 2, 3, 4}), 1u * 16777216 + 2 * 65536 + 3 * 256 + 4);
    EXPECT_EQ(controls::packFields({255, 0, 0, 0}), 0xFF000000u);
    EXPECT_EQ(controls::packFields({0, 0, 0, 255}), 0x000000FFu);
    EXPECT_EQ(controls::unpackFields(0xC0A87B64), (controls::IpFields{192, 168, 123, 100}));
    EXPECT_EQ(controls::unpackFields(0x000000FF), (controls::IpFields{0, 0, 0, 255}));
}

TEST(ip_text_pack_test, formats_without_leading_zeros) {
    EXPECT_EQ(controls::formatDotted(0), u"0.0.0.0");
    EXPECT_EQ(controls::formatDotted(0xC0A87B64), u"192.168.123.100");
    EXPECT_EQ(controls::formatDotted(0x0A0100FF), u"10.1.0.255");
    EXPECT_EQ(controls::formatDotted(0xFFFFFFFF), u"255.255.255.255");
}

TEST(ip_text_error_test, descriptions_match_their_numbers) {
    EXPECT_EQ(controls::ipTextErrorDescription(IpTextError::InvalidCall),
              u"Invalid procedure call or argument");
    EXPECT_EQ(controls::ipTextErrorDescription(IpTextError::Overflow), u"Overflow");
    EXPECT_EQ(controls::ipTextErrorDescription(IpTextError::MissingPart),
              u"Subscript out of range");
    EXPECT_EQ(controls::ipTextErrorDescription(IpTextError::NotANumber), u"Type mismatch");
    EXPECT_EQ(controls::ipTextErrorDescription(IpTextError::BadFormat),
              u"Ip \u5730\u5740\u683C\u5F0F\u9519\u8BEF\r\n"
              u"\u6B63\u786E\u7684\u683C\u5F0F\u5E94\u8BE5\u4E3A: 255.255.255.255");
}
