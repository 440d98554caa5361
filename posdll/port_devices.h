// Which device file a COMn or LPTn name stands for. Pure: whether a file exists and what the
// environment says come in as arguments. The device library and `posdip-cli ports` both ask
// here, so what ports shows is what an open reaches.
#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace posdll {

enum class PortFamily { Serial, Parallel };

struct PortName {
    PortFamily family = PortFamily::Serial;
    int number = 0; // 1 to 255
};

// "COM" or "LPT".
const char *portPrefix(PortFamily family);

// "COM3" -> {Serial, 3}; nothing for any other text (see portNumber).
std::optional<PortName> parsePortName(std::string_view name);

// "COM3".
std::string portNameText(PortName port);

// What the variable that names another device for a port starts with.
inline constexpr std::string_view kPortOverridePrefix = "POSDLL_PORT_";

// The variable that names another device for the port: "POSDLL_PORT_COM3".
std::string overrideVariable(PortName port);

// The device files the port usually is, in the order they are tried: COMn is /dev/ttyS(n-1);
// LPTn is /dev/lp(n-1), else /dev/usb/lp(n-1).
std::vector<std::string> usualDevicePaths(PortName port);

struct PortDevice {
    std::string path;
    bool overridden = false; // the path is the override's value
};

// The device the port opens: the override when it is not empty, else the first usual path
// that exists, else the last usual path.
PortDevice portDevice(PortName port, std::string_view overrideValue,
                      const std::function<bool(const std::string &)> &exists);

// The variable that lets a parallel port be a regular file (frames appended to it).
inline constexpr const char *kAllowFilesVariable = "POSDLL_ALLOW_FILES";

struct PortFile {
    mode_t mode = 0;           // st_mode of the file the path leads to
    std::string resolvedTo;    // where a path through symbolic links leads, "" when it is direct
    bool kernelFile = false;   // on /proc or /sys, by its file system or its resolved path
    bool filesAllowed = false; // kAllowFilesVariable is set to 1
    unsigned major = 0;        // of a character device
    unsigned minor = 0;
};

// Whether a resolved path lies in /proc or /sys, whatever is mounted there.
bool onKernelPath(std::string_view resolved);

// Why a port may not be opened on this file, or nothing. A serial port must be a character
// device (it is then checked to be a terminal). A parallel port must be a parallel or USB
// printer's character device or a FIFO; when files are allowed also a regular file or another
// character device (/dev/null), but never memory or storage, nor anything in /proc and /sys.
std::optional<std::string> portFileRefusal(PortFamily family, const PortFile &file);

} // namespace posdll
