// The setting byte: one bit per two-way printer function, two bits for the baud rate.
#pragma once

#include "protocol/frames.h"

#include <array>
#include <cstdint>
#include <string>

namespace protocol {

// The printer's serial rates, slowest first, as lists offer them.
inline constexpr std::array<int, 4> kBaudRates = {9600, 19200, 38400, 115200};
// "9600|19200|38400|115200", for help texts.
std::string baudRateChoices(const char *separator);
// The rate as a number when the text is exactly one of kBaudRates; 0 otherwise.
int knownBaud(const std::string &text);
// The rate of option button 12 to 15; 0 for the other buttons.
int baudOfOption(int option);

// Selected state of the sixteen option buttons, by index. Each pair 0/1 ... 10/11 is one
// two-way group; 12 to 15 are the baud group (9600, 38400, 19200, 115200).
using OptionStates = std::array<bool, 16>;

// The option selection the window opens with: the buttons of the default byte.
OptionStates defaultOptionStates();
// The rate of the default byte, which a serial line starts at.
int defaultBaud();

// Reads only indices 1, 3, 5, 7, 9, 11, then 12, 14, 15, as the window's buttons are laid out.
std::uint8_t composeSettingByte(const OptionStates &options);

enum class Density { Dark, Light };

// "dark", "light": the word for a density wherever one is read or shown.
const char *densityName(Density density);

// The seven choices a setting byte stands for.
// Value-initialised: no, dark, 42 and no rate; the printer's defaults are
// explainSettingByte(kDefaultSetting).
struct SettingChoices {
    bool cutter = false;
    bool beeper = false;
    Density density = Density::Dark;
    bool twoByteCode = false;
    int charsPerLine = 42; // 42 or 48
    bool paperTakenDetect = false;
    int baud = 0; // 9600, 19200, 38400 or 115200
    bool operator==(const SettingChoices &) const = default;
};

SettingChoices explainSettingByte(std::uint8_t setting);

// The option buttons that show the given choices; false when a value has no button
// (chars per line other than 42/48, a baud rate other than the four).
bool optionStatesFor(const SettingChoices &choices, OptionStates &out);

// "cutter yes, beeper yes, density light, two-byte yes, 48 chars, paper-taken yes, 19200 bps"
std::string describeSettingByte(std::uint8_t setting);

} // namespace protocol
