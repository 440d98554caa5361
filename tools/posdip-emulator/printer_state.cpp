#include "printer_state.h"

#include "posdll/quoted.h"
#include "protocol/frame_decode.h"

#include <charconv>
#include <sstream>

namespace emulator {

namespace {

constexpr const char *kDipKey = "dip-switches";
constexpr const char *kSettingKey = "setting";

std::optional<std::uint8_t> parseByte(const std::string &v) {
    if (v.size() != 4 || v[0] != '0' || (v[1] != 'x' && v[1] != 'X'))
        return std::nullopt;
    unsigned n = 0;
    const auto [p, ec] = std::from_chars(v.data() + 2, v.data() + v.size(), n, 16);
    if (ec != std::errc() || p != v.data() + v.size())
        return std::nullopt;
    return static_cast<std::uint8_t>(n);
}

} // namespace

std::string formatState(const PrinterState &state) {
    return std::string("# posdip-emulator: what the printer keeps across restarts\n") + kDipKey +
           (state.dipSwitchesEnabled ? " enabled\n" : " disabled\n") + kSettingKey + " " +
           protocol::hexByte(state.setting) + "\n";
}

std::optional<PrinterState> parseState(const std::string &text, std::string *why) {
    PrinterState s;
    bool dipSeen = false;
    bool settingSeen = false;
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        auto fail = [&](const std::string &what) -> std::optional<PrinterState> {
            *why = "line " + std::to_string(number) + ": " + what;
            return std::nullopt;
        };
        std::istringstream words(line);
        std::string key;
        std::string value;
        std::string extra;
        if (!(words >> key) || key[0] == '#')
            continue;
        if (!(words >> value) || (words >> extra))
            return fail("expected a key and one value, found " + posdll::quoted(line));
        if (key == kDipKey && !dipSeen) {
            if (value != "enabled" && value != "disabled")
                return fail(std::string(kDipKey) + " is enabled or disabled, not " +
                            posdll::quoted(value));
            s.dipSwitchesEnabled = value == "enabled";
            dipSeen = true;
        } else if (key == kSettingKey && !settingSeen) {
            const auto byte = parseByte(value);
            if (!byte)
                return fail(std::string(kSettingKey) + " is a byte like 0xFD, not " +
                            posdll::quoted(value));
            s.setting = *byte;
            settingSeen = true;
        } else if (key == kDipKey || key == kSettingKey) {
            return fail(key + " given twice");
        } else {
            return fail("unknown key " + posdll::quoted(key));
        }
    }
    if (!dipSeen || !settingSeen) {
        *why = std::string("no ") + (dipSeen ? kSettingKey : kDipKey) + " line";
        return std::nullopt;
    }
    return s;
}

} // namespace emulator
