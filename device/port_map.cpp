#include "device/port_map.h"

#include "device/port_catalogue.h"
#include "posdll/port_devices.h"

#include <algorithm>
#include <cctype>
#include <set>

namespace device {

namespace {

bool contains(const std::vector<std::string> &v, const std::string &s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}

// The port name whose usual device this is, "" when none: /dev/ttyS2 -> COM3.
std::string nameForDevice(const std::string &device) {
    const std::pair<std::string_view, const char *> patterns[] = {
        {"/dev/ttyS", "COM"}, {"/dev/lp", "LPT"}, {"/dev/usb/lp", "LPT"}};
    for (const auto &[head, prefix] : patterns) {
        if (device.rfind(head, 0) != 0)
            continue;
        const std::string digits = device.substr(head.size());
        if (digits.empty() || digits.size() > 3 ||
            !std::all_of(digits.begin(), digits.end(), ::isdigit))
            continue;
        const std::string name = prefix + std::to_string(std::stoi(digits) + 1);
        // Round trip, so that /dev/ttyS01 or /dev/lp300 reach no name.
        if (contains(usualDevices(name), device))
            return name;
    }
    return {};
}

bool portLess(const std::string &a, const std::string &b) {
    const auto pa = posdll::parsePortName(a), pb = posdll::parsePortName(b);
    return std::tie(pa->family, pa->number) < std::tie(pb->family, pb->number);
}

} // namespace

std::vector<std::string> usualDevices(std::string_view portName) {
    const auto p = posdll::parsePortName(portName);
    return p ? posdll::usualDevicePaths(*p) : std::vector<std::string>{};
}

PortMapping mapPort(const std::string &portName, const Environment &env,
                    const std::vector<std::string> &present) {
    PortMapping m;
    m.name = portName;
    const auto port = posdll::parsePortName(portName);
    if (!port)
        return m;
    const auto it = env.find(posdll::overrideVariable(*port));
    const posdll::PortDevice d =
        posdll::portDevice(*port, it != env.end() ? it->second : std::string(),
                           [&](const std::string &path) { return contains(present, path); });
    m.device = d.path;
    m.overridden = d.overridden;
    m.present = contains(present, m.device);
    return m;
}

PortsReport reportPorts(const std::vector<std::string> &present, const Environment &env) {
    std::set<std::string, bool (*)(const std::string &, const std::string &)> names(portLess);
    for (device::PortKind kind : {device::PortKind::Serial, device::PortKind::Parallel})
        for (std::string &name : device::cataloguePorts(kind))
            names.insert(std::move(name));
    for (const std::string &d : present)
        if (std::string name = nameForDevice(d); !name.empty())
            names.insert(name);
    for (const auto &[var, value] : env)
        if (var.rfind(posdll::kPortOverridePrefix, 0) == 0 && !value.empty() &&
            posdll::parsePortName(var.substr(posdll::kPortOverridePrefix.size())))
            names.insert(var.substr(posdll::kPortOverridePrefix.size()));

    PortsReport r;
    for (const std::string &name : names)
        r.ports.push_back(mapPort(name, env, present));
    for (const std::string &d : present)
        if (std::none_of(r.ports.begin(), r.ports.end(),
                         [&](const PortMapping &m) { return m.device == d; }))
            r.unmapped.push_back(d);
    return r;
}

bool naturalLess(const std::string &a, const std::string &b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (std::isdigit(static_cast<unsigned char>(a[i])) &&
            std::isdigit(static_cast<unsigned char>(b[j]))) {
            std::size_t ei = i, ej = j;
            while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei])))
                ++ei;
            while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej])))
                ++ej;
            const std::string_view na(a.data() + i, ei - i), nb(b.data() + j, ej - j);
            const auto ta = na.substr(std::min(na.find_first_not_of('0'), na.size()));
            const auto tb = nb.substr(std::min(nb.find_first_not_of('0'), nb.size()));
            if (ta.size() != tb.size())
                return ta.size() < tb.size();
            if (ta != tb)
                return ta < tb;
            i = ei;
            j = ej;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j];
        ++i;
        ++j;
    }
    if (a.size() - i != b.size() - j)
        return a.size() - i < b.size() - j;
    return a < b; // equal but for leading zeros: a total order all the same
}

} // namespace device
