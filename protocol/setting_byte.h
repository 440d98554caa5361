// The setting byte: one bit per two-way printer function, two bits for the baud rate, and the
// seven choices it stands for.
#pragma once

#include "protocol/frames.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace protocol {

// The printer's serial rates, slowest first, as lists offer them.
inline constexpr std::array<int, 4> kBaudRates = {9600, 19200, 38400, 115200};
// "9600|19200|38400|115200", for help texts.
std::string baudRateChoices(const char *separator);
// The rate as a number when the text is exactly one of kBaudRates; 0 otherwise.
int knownBaud(const std::string &text);
// The rate of the default byte, which a serial line starts at.
int defaultBaud();

enum class Density { Dark, Light };
enum class CharsPerLine { Chars42, Chars48 };
// The printer's serial rate after a restart, one of kBaudRates.
enum class Baud { Rate9600, Rate19200, Rate38400, Rate115200 };

// "dark", "light": the word for a density wherever one is read or shown.
const char *densityName(Density density);
// 42 or 48.
int charCount(CharsPerLine chars);
// 9600 ... 115200.
int baudRate(Baud baud);
// The Baud of a rate of kBaudRates; nothing for any other rate.
std::optional<Baud> baudOfRate(int rate);

// The seven choices a setting byte stands for, one per printer function.
// Value-initialised: every function off, dark, 42 and 9600; the printer's defaults are
// defaultChoices().
struct SettingChoices {
    bool cutter = false;
    bool beeper = false;
    Density density = Density::Dark;
    bool twoByteCode = false;
    CharsPerLine charsPerLine = CharsPerLine::Chars42;
    bool paperTakenDetect = false;
    Baud baud = Baud::Rate9600;
    bool operator==(const SettingChoices &) const = default;
};

// The choices of kDefaultSetting, which the window opens with.
SettingChoices defaultChoices();

std::uint8_t composeSettingByte(const SettingChoices &choices);
SettingChoices explainSettingByte(std::uint8_t setting);

// "cutter yes, beeper yes, density light, two-byte yes, 48 chars, paper-taken yes, 19200 bps"
std::string describeSettingByte(std::uint8_t setting);

} // namespace protocol
