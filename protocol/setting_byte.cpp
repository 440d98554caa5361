#include "protocol/setting_byte.h"

namespace protocol {

namespace {

// Option index of each baud button and the bits 7..6 it stands for.
struct BaudButton {
    int option;
    int baud;
    std::uint8_t bits;
};
constexpr BaudButton kBaudButtons[] = {
    {12, 9600, 0x80}, {13, 38400, 0x00}, {14, 19200, 0xC0}, {15, 115200, 0x40}};

const char *yesNo(bool b) { return b ? "yes" : "no"; }

} // namespace

OptionStates defaultOptionStates() {
    OptionStates s{};
    for (int i : {1, 2, 5, 7, 9, 11, 14})
        s[i] = true;
    return s;
}

std::uint8_t composeSettingByte(const OptionStates &options) {
    unsigned sum = 0;
    const int bitButtons[] = {1, 3, 5, 7, 9, 11};
    for (int bit = 0; bit < 6; ++bit)
        if (options[bitButtons[bit]])
            sum += 1u << bit;
    if (options[12])
        sum += 0x80;
    if (options[14])
        sum += 0xC0;
    if (options[15])
        sum += 0x40;
    // More than one baud button selected cannot come from the window's exclusive group;
    // keep the byte in range rather than wrap silently.
    return static_cast<std::uint8_t>(sum > 0xFF ? 0xFF : sum);
}

SettingChoices explainSettingByte(std::uint8_t setting) {
    auto bit = [setting](int n) { return (setting >> n) & 1; };
    SettingChoices c;
    c.cutter = bit(0);       // 1 = "Yes"
    c.beeper = !bit(1);      // 0 = "Yes"
    c.density = bit(2) ? Density::Light : Density::Dark;
    c.twoByteCode = bit(3);
    c.charsPerLine = bit(4) ? 48 : 42;
    c.paperTakenDetect = bit(5);
    for (const auto &b : kBaudButtons)
        if ((setting & 0xC0) == b.bits)
            c.baud = b.baud;
    return c;
}

bool optionStatesFor(const SettingChoices &c, OptionStates &out) {
    if (c.charsPerLine != 42 && c.charsPerLine != 48)
        return false;
    OptionStates s{};
    const bool oddSelected[6] = {c.cutter, !c.beeper, c.density == Density::Light,
                                 c.twoByteCode, c.charsPerLine == 48, c.paperTakenDetect};
    for (int g = 0; g < 6; ++g)
        s[2 * g + (oddSelected[g] ? 1 : 0)] = true;
    bool baudFound = false;
    for (const auto &b : kBaudButtons)
        if (b.baud == c.baud) {
            s[b.option] = true;
            baudFound = true;
        }
    if (!baudFound)
        return false;
    out = s;
    return true;
}

std::string describeSettingByte(std::uint8_t setting) {
    const SettingChoices c = explainSettingByte(setting);
    std::string s;
    s += "cutter ";
    s += yesNo(c.cutter);
    s += ", beeper ";
    s += yesNo(c.beeper);
    s += ", density ";
    s += c.density == Density::Light ? "light" : "dark";
    s += ", two-byte ";
    s += yesNo(c.twoByteCode);
    s += ", " + std::to_string(c.charsPerLine) + " chars";
    s += ", paper-taken ";
    s += yesNo(c.paperTakenDetect);
    s += ", " + std::to_string(c.baud) + " bps";
    return s;
}

} // namespace protocol
