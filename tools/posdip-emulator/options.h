// The command line of posdip-emulator. Pure: no I/O.
#pragma once

#include "printer.h"

#include "posdll/port_names.h"
#include "protocol/status.h"

#include <optional>
#include <string>
#include <vector>

namespace emulator {

// How the emulator misbehaves on request. Close, Reset, Stall and KeepOpen are about TCP
// connections; Silent holds for the terminal too.
enum class Fault {
    None,
    Close,    // accept, then close at once
    Reset,    // reset the connection after its first byte
    Stall,    // accept and never read
    KeepOpen, // keep our side open after the sender ended its side
    Silent,   // never answer a status request
};

struct Options {
    std::optional<posdll::NetworkAddress> listen; // TCP; port 0 asks for a free one
    std::optional<std::string> ptyLink;           // where the link to the terminal goes
    bool hex = false;
    std::optional<long> count; // frames to take before exiting
    protocol::PrinterCondition condition;
    std::optional<std::string> stateFile;
    Fault fault = Fault::None;
    std::optional<Identity> identity = Identity{}; // none with --no-id
    bool asb = false;                              // automatic status on
    bool help = false;
    bool version = false;
};

// Without --listen or --pty the emulator listens on 127.0.0.1:9100. Error text in *why.
std::optional<Options> parseOptions(const std::vector<std::string> &args, std::string *why);

// The text of --help.
std::string usage();

} // namespace emulator
