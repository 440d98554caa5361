#include "device/port_scan.h"

#include "posdll/port_devices.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <memory>

extern char **environ;

namespace device {

namespace {

bool numbered(const std::string &name, std::string_view head) {
    return name.size() > head.size() && name.rfind(head, 0) == 0 &&
           std::all_of(name.begin() + static_cast<std::ptrdiff_t>(head.size()), name.end(),
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

void scan(const std::string &dir, std::initializer_list<std::string_view> heads,
          std::vector<std::string> &out) {
    const std::unique_ptr<DIR, int (*)(DIR *)> d(opendir(dir.c_str()), closedir);
    if (!d)
        return; // no such folder: no such devices
    while (const dirent *e = readdir(d.get())) {
        const std::string name = e->d_name;
        if (std::any_of(heads.begin(), heads.end(),
                        [&](std::string_view h) { return numbered(name, h); }))
            out.push_back(dir + "/" + name);
    }
}

} // namespace

std::vector<std::string> presentPortDevices() {
    std::vector<std::string> found;
    scan("/dev", {"ttyS", "ttyUSB", "ttyACM", "lp"}, found);
    scan("/dev/usb", {"lp"}, found);
    std::sort(found.begin(), found.end(), naturalLess);
    return found;
}

Environment portEnvironment() {
    Environment env;
    for (char **e = environ; e && *e; ++e) {
        const std::string entry = *e;
        const auto eq = entry.find('=');
        if (eq != std::string::npos && entry.rfind(posdll::kPortOverridePrefix, 0) == 0)
            env.emplace(entry.substr(0, eq), entry.substr(eq + 1));
    }
    return env;
}

std::vector<std::string> presentDevicesWith(const Environment &env) {
    std::vector<std::string> found = presentPortDevices();
    for (const auto &[var, path] : env)
        if (!path.empty() && ::access(path.c_str(), F_OK) == 0 &&
            std::find(found.begin(), found.end(), path) == found.end())
            found.push_back(path);
    return found;
}

std::string MachinePorts::deviceOf(const std::string &portName) {
    if (usualDevices(portName).empty())
        return {};
    if (!m_read) {
        Environment env = portEnvironment();
        std::vector<std::string> present = presentDevicesWith(env);
        m_read.emplace(std::move(env), std::move(present));
    }
    return mapPort(portName, m_read->first, m_read->second).device;
}

} // namespace device
