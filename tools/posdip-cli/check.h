// posdip-cli check: one printer's status as a monitoring plugin reports it, one line and an
// exit status of 0 OK, 1 WARNING, 2 CRITICAL or 3 UNKNOWN.
#pragma once

#include "app/result.h"
#include "commands.h"

#include <chrono>
#include <string>

namespace batch {
struct Target;
}

namespace cli {

struct Command;

enum class PluginState { Ok = 0, Warning = 1, Critical = 2, Unknown = 3 };

struct PluginReport {
    PluginState state;
    std::string line; // "POSDIP OK - ETHERNET 10.1.2.3: ready | ready=1;;;0;1 ..."
};

// What the printer's result makes of the check.
PluginReport checkReport(const batch::Target &target, const app::Result &result);
// The check ran out of its whole bound before the printer answered.
PluginReport checkTimedOut(const batch::Target &target, std::chrono::milliseconds bound);
// A check that cannot be made (a usage error): UNKNOWN with why.
PluginReport checkUnknown(const std::string &why);

// Prints the report's line; its exit status.
int sayReport(const Io &io, const PluginReport &report);

// Checks the target within cmd.checkMillis and prints the one line; returns the exit status.
int runCheck(const batch::Target &target, const Command &cmd, const Io &io,
             device::PosdllFuncs &lib);

} // namespace cli
