#include "port_map.h"

#include "posdll/port_names.h"

#include <algorithm>
#include <cctype>
#include <set>

namespace cli {

namespace {

constexpr std::string_view kOverridePrefix = "POSDLL_PORT_";

bool contains(const std::vector<std::string> &v, const std::string &s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}

// "COM" or "LPT" with its number, or nothing.
struct PortName {
    std::string prefix;
    int number = 0;
};

std::optional<PortName> splitPortName(std::string_view name) {
    for (const char *prefix : {"COM", "LPT"})
        if (auto n = posdll::portNumber(name, prefix))
            return PortName{prefix, *n};
    return std::nullopt;
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
    const auto pa = splitPortName(a), pb = splitPortName(b);
    return std::tie(pa->prefix, pa->number) < std::tie(pb->prefix, pb->number);
}

} // namespace

std::vector<std::string> usualDevices(std::string_view portName) {
    const auto p = splitPortName(portName);
    if (!p)
        return {};
    const std::string index = std::to_string(p->number - 1);
    if (p->prefix == "COM")
        return {"/dev/ttyS" + index};
    return {"/dev/lp" + index, "/dev/usb/lp" + index};
}

std::string overrideVariable(std::string_view portName) {
    return std::string(kOverridePrefix) + std::string(portName);
}

PortMapping mapPort(const std::string &portName, const Environment &env,
                    const std::vector<std::string> &present) {
    PortMapping m;
    m.name = portName;
    if (const auto it = env.find(overrideVariable(portName));
        it != env.end() && !it->second.empty()) {
        m.device = it->second;
        m.overridden = true;
    } else {
        const std::vector<std::string> usual = usualDevices(portName);
        const auto hit = std::find_if(usual.begin(), usual.end(),
                                      [&](const std::string &d) { return contains(present, d); });
        m.device = hit != usual.end() ? *hit : usual.empty() ? std::string() : usual.front();
    }
    m.present = contains(present, m.device);
    return m;
}

PortsReport reportPorts(const std::vector<std::string> &present, const Environment &env) {
    std::set<std::string, bool (*)(const std::string &, const std::string &)> names(portLess);
    for (int n = 1; n <= 9; ++n)
        names.insert("COM" + std::to_string(n));
    for (int n = 1; n <= 3; ++n)
        names.insert("LPT" + std::to_string(n));
    for (const std::string &d : present)
        if (std::string name = nameForDevice(d); !name.empty())
            names.insert(name);
    for (const auto &[var, value] : env)
        if (var.rfind(kOverridePrefix, 0) == 0 && !value.empty() &&
            splitPortName(var.substr(kOverridePrefix.size())))
            names.insert(var.substr(kOverridePrefix.size()));

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

} // namespace cli
