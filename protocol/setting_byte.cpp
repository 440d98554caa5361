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

constexpr bool everyRateHasAButton() {
    for (int rate : kBaudRates) {
        bool found = false;
        for (const auto &b : kBaudButtons)
            found = found || b.baud == rate;
        if (!found)
            return false;
    }
    return std::size(kBaudButtons) == kBaudRates.size();
}
static_assert(everyRateHasAButton());

const char *yesNo(bool b) {
    return b ? "yes" : "no";
}

} // namespace

std::string baudRateChoices(const char *separator) {
    std::string s;
    for (int rate : kBaudRates)
        s += (s.empty() ? "" : separator) + std::to_string(rate);
    return s;
}

int knownBaud(const std::string &text) {
    for (int rate : kBaudRates)
        if (text == std::to_string(rate))
            return rate;
    return 0;
}

int baudOfOption(int option) {
    for (const auto &b : kBaudButtons)
        if (b.option == option)
            return b.baud;
    return 0;
}

OptionStates defaultOptionStates() {
    OptionStates s{};
    optionStatesFor(explainSettingByte(kDefaultSetting), s); // every byte has its buttons
    return s;
}

int defaultBaud() {
    return explainSettingByte(kDefaultSetting).baud;
}

std::uint8_t composeSettingByte(const OptionStates &options) {
    std::uint8_t setting = 0;
    for (int bit = 0; bit < 6; ++bit)
        if (options[2 * bit + 1])
            setting |= static_cast<std::uint8_t>(1u << bit);
    for (const auto &b : kBaudButtons)
        if (options[b.option])
            setting |= b.bits;
    return setting;
}

SettingChoices explainSettingByte(std::uint8_t setting) {
    auto bit = [setting](int n) { return (setting >> n) & 1; };
    SettingChoices c;
    c.cutter = bit(0);  // 1 = "Yes"
    c.beeper = !bit(1); // 0 = "Yes"
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
    const bool oddSelected[6] = {c.cutter,
                                 !c.beeper,
                                 c.density == Density::Light,
                                 c.twoByteCode,
                                 c.charsPerLine == 48,
                                 c.paperTakenDetect};
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

const char *densityName(Density density) {
    switch (density) {
    case Density::Dark:
        return "dark";
    case Density::Light:
        return "light";
    }
    return "";
}

std::string describeSettingByte(std::uint8_t setting) {
    const SettingChoices c = explainSettingByte(setting);
    std::string s;
    s += "cutter ";
    s += yesNo(c.cutter);
    s += ", beeper ";
    s += yesNo(c.beeper);
    s += ", density ";
    s += densityName(c.density);
    s += ", two-byte ";
    s += yesNo(c.twoByteCode);
    s += ", " + std::to_string(c.charsPerLine) + " chars";
    s += ", paper-taken ";
    s += yesNo(c.paperTakenDetect);
    s += ", " + std::to_string(c.baud) + " bps";
    return s;
}

} // namespace protocol
