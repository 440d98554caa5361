#include "check.h"

#include "cli_args.h"
#include "output.h"

#include "batch/batch.h"

#include "posdll/fd.h"
#include "protocol/status_summary.h"

#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <ostream>
#include <system_error>
#include <thread>

namespace cli {

namespace {

using std::chrono::milliseconds;

const char *stateWord(PluginState state) {
    switch (state) {
    case PluginState::Ok:
        return "OK";
    case PluginState::Warning:
        return "WARNING";
    case PluginState::Critical:
        return "CRITICAL";
    case PluginState::Unknown:
        return "UNKNOWN";
    }
    return "UNKNOWN";
}

// A failure the printer's absence explains is CRITICAL; one that leaves its state unknown
// (the port cannot answer, the answer was no status) is UNKNOWN.
PluginState stateOfFailure(device::FailKind kind) {
    switch (kind) {
    case device::FailKind::Refused:
    case device::FailKind::Timeout:
    case device::FailKind::Unreachable:
    case device::FailKind::Reset:
    case device::FailKind::Closed:
    case device::FailKind::Busy:
    case device::FailKind::Denied:
    case device::FailKind::Missing:
    case device::FailKind::NotADevice:
    case device::FailKind::Queue:
    case device::FailKind::NotReady:
        return PluginState::Critical;
    case device::FailKind::Ok:
    case device::FailKind::Spooled:
    case device::FailKind::CannotVerify:
    case device::FailKind::Usage:
    case device::FailKind::NoDescriptors:
    case device::FailKind::Internal:
        return PluginState::Unknown;
    }
    return PluginState::Unknown;
}

std::string seconds(milliseconds elapsed) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3fs", static_cast<double>(elapsed.count()) / 1000);
    return text;
}

// "ready=1;;;0;1": a 0/1 value with its range and no thresholds.
std::string flag(const char *label, bool value) {
    return std::string(label) + "=" + (value ? "1" : "0") + ";;;0;1";
}

PluginReport report(PluginState state, const std::string &text, const std::string &perfdata) {
    // A newline in a name would split the one line the monitoring system reads.
    std::string line = std::string("POSDIP ") + stateWord(state) + " - " + text;
    std::replace(line.begin(), line.end(), '\n', ' ');
    std::replace(line.begin(), line.end(), '|', '/');
    return {state, line + (perfdata.empty() ? "" : " | " + perfdata)};
}

} // namespace

PluginReport checkReport(const batch::Target &target, const app::Result &result) {
    const std::string time = "time=" + seconds(result.elapsed);
    if (!result.status) // a queue's own state says nothing of its printer
        return report(result.queue ? PluginState::Unknown : stateOfFailure(result.kind),
                      statusLine(target, result), flag("ready", false) + " " + time);
    const protocol::StatusSummary &s = result.status->summary;
    const bool nearEnd = s.paper == protocol::PaperLevel::NearEnd;
    const PluginState state = !s.ready  ? PluginState::Critical
                              : nearEnd ? PluginState::Warning
                                        : PluginState::Ok;
    return report(state, statusLine(target, result),
                  flag("ready", s.ready) + " " + flag("near_end", nearEnd) + " " + time);
}

PluginReport checkTimedOut(const batch::Target &target, milliseconds bound) {
    return report(PluginState::Critical,
                  target.label + ": no answer within " + posdll::durationText(bound),
                  flag("ready", false) + " time=" + seconds(bound));
}

PluginReport checkUnknown(const std::string &why) {
    return report(PluginState::Unknown, why, "");
}

int sayReport(const Io &io, const PluginReport &r) {
    io.out << r.line << "\n" << std::flush;
    return static_cast<int>(r.state);
}

int runCheck(const batch::Target &target, const Command &cmd, const Io &io,
             device::PosdllFuncs &lib) {
    const milliseconds bound(cmd.checkMillis);
    batch::Bounds bounds;
    bounds.connectMillis = cmd.connectMillis;
    bounds.writeMillis = cmd.writeMillis;
    bounds.statusMillis = cmd.statusMillis;

    // The whole bound holds whatever the exchanges' own bounds add up to: once it passes, the
    // line is said and the program ends.
    std::mutex lock;
    std::condition_variable finished;
    bool said = false;
    std::thread watch;
    try {
        watch = std::thread([&] {
            std::unique_lock<std::mutex> held(lock);
            if (finished.wait_for(held, bound, [&] { return said; }))
                return;
            sayReport(io, checkTimedOut(target, bound));
            std::_Exit(static_cast<int>(PluginState::Critical));
        });
    } catch (const std::system_error &e) { // nothing was sent
        return sayReport(
            io, checkUnknown("cannot start a thread: " + posdll::errnoText(e.code().value())));
    }
    std::optional<PluginReport> got;
    batch::Hooks hooks;
    hooks.onResult = [&](const batch::Result &r) { got = checkReport(target, r.result); };
    batch::status(std::span(&target, 1), bounds, lib, hooks);
    int status = 0;
    {
        std::lock_guard<std::mutex> held(lock);
        status = sayReport(io, got ? *got : checkUnknown(target.label + ": no result"));
        said = true;
    }
    finished.notify_one();
    watch.join();
    return status;
}

} // namespace cli
