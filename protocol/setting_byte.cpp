#include "protocol/setting_byte.h"

namespace protocol {

namespace {

// Each rate with the bits 7..6 that stand for it.
struct BaudCode {
    Baud baud;
    int rate;
    std::uint8_t bits;
};
constexpr BaudCode kBaudCodes[] = {{Baud::Rate9600, 9600, 0x80},
                                   {Baud::Rate19200, 19200, 0xC0},
                                   {Baud::Rate38400, 38400, 0x00},
                                   {Baud::Rate115200, 115200, 0x40}};

constexpr bool codesFollowTheRates() {
    for (std::size_t i = 0; i < kBaudRates.size(); ++i)
        if (kBaudCodes[i].rate != kBaudRates[i] ||
            static_cast<std::size_t>(kBaudCodes[i].baud) != i)
            return false;
    return std::size(kBaudCodes) == kBaudRates.size();
}
static_assert(codesFollowTheRates());

const BaudCode &codeOf(Baud baud) {
    return kBaudCodes[static_cast<std::size_t>(baud)];
}

// The bit of each two-way function, and which choice sets it to 1.
constexpr int kCutterBit = 0;     // 1 = yes
constexpr int kBeeperBit = 1;     // 1 = no
constexpr int kDensityBit = 2;    // 1 = light
constexpr int kTwoByteBit = 3;    // 1 = yes
constexpr int kCharsBit = 4;      // 1 = 48
constexpr int kPaperTakenBit = 5; // 1 = yes
constexpr std::uint8_t kBaudMask = 0xC0;

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

int defaultBaud() {
    return baudRate(defaultChoices().baud);
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

int charCount(CharsPerLine chars) {
    switch (chars) {
    case CharsPerLine::Chars42:
        return 42;
    case CharsPerLine::Chars48:
        return 48;
    }
    return 0;
}

int baudRate(Baud baud) {
    return codeOf(baud).rate;
}

std::optional<Baud> baudOfRate(int rate) {
    for (const auto &c : kBaudCodes)
        if (c.rate == rate)
            return c.baud;
    return std::nullopt;
}

SettingChoices defaultChoices() {
    return explainSettingByte(kDefaultSetting);
}

std::uint8_t composeSettingByte(const SettingChoices &c) {
    std::uint8_t setting = codeOf(c.baud).bits;
    auto set = [&setting](int bit, bool one) {
        if (one)
            setting |= static_cast<std::uint8_t>(1u << bit);
    };
    set(kCutterBit, c.cutter);
    set(kBeeperBit, !c.beeper);
    set(kDensityBit, c.density == Density::Light);
    set(kTwoByteBit, c.twoByteCode);
    set(kCharsBit, c.charsPerLine == CharsPerLine::Chars48);
    set(kPaperTakenBit, c.paperTakenDetect);
    return setting;
}

SettingChoices explainSettingByte(std::uint8_t setting) {
    auto bit = [setting](int n) { return ((setting >> n) & 1) != 0; };
    SettingChoices c;
    c.cutter = bit(kCutterBit);
    c.beeper = !bit(kBeeperBit);
    c.density = bit(kDensityBit) ? Density::Light : Density::Dark;
    c.twoByteCode = bit(kTwoByteBit);
    c.charsPerLine = bit(kCharsBit) ? CharsPerLine::Chars48 : CharsPerLine::Chars42;
    c.paperTakenDetect = bit(kPaperTakenBit);
    for (const auto &b : kBaudCodes)
        if ((setting & kBaudMask) == b.bits)
            c.baud = b.baud;
    return c;
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
    s += ", " + std::to_string(charCount(c.charsPerLine)) + " chars";
    s += ", paper-taken ";
    s += yesNo(c.paperTakenDetect);
    s += ", " + std::to_string(baudRate(c.baud)) + " bps";
    return s;
}

} // namespace protocol
