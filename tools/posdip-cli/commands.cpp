#include "commands.h"

#include "cidr.h"
#include "cli_args.h"
#include "descriptor_limit.h"
#include "device_scan.h"
#include "end_outside_slot.h"
#include "help.h"
#include "interrupt.h"
#include "output.h"
#include "progress.h"
#include "runner.h"
#include "targets.h"

#include "device/port_kind.h"
#include "device/printers.h"
#include "posdll/fd.h"
#include "posdll/port_devices.h"
#include "posdll/quoted.h"
#include "protocol/frame_decode.h"

#include <cerrno>
#include <chrono>
#include <fstream>
#include <functional>
#include <iomanip>
#include <iostream>
#include <optional>
#include <stop_token>

namespace cli {

namespace {

int usage(const Io &io, const std::string &message, std::optional<Subcommand> sub) {
    io.err << "posdip-cli: " << message << "\n" << usageHint(sub) << "\n";
    return kExitUsage;
}

// Text as shown on a terminal: control characters escaped, so a name cannot drive it.
std::string shown(const std::string &text, bool terminal) {
    return terminal ? posdll::escaped(text) : text;
}

// "1 printer", "3 printers".
std::string counted(std::size_t n, const std::string &noun) {
    return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

void sayError(const Io &io, const std::string &text) {
    io.err << shown("posdip-cli: " + text, io.progress) << "\n";
}

// The printers listed in a file, or in standard input for "-".
TargetFile readTargets(const std::string &path, const Io &io, const std::string &defaultBaud) {
    if (path == "-")
        return readTargetFile(io.in, "stdin", defaultBaud);
    std::ifstream f(path, std::ios::binary);
    if (!f)
        return {{}, {"cannot read " + posdll::quoted(path) + ": " + posdll::errnoText(errno)}};
    TargetFile file = readTargetFile(f, path, defaultBaud);
    if (f.bad())
        file.errors.push_back("cannot read " + posdll::quoted(path) + ": " +
                              posdll::errnoText(errno));
    return file;
}

// The targets in command-line order; false after printing the usage errors.
bool collectTargets(const Command &cmd, const Io &io, std::vector<Target> &out) {
    if (cmd.port) {
        out.push_back(portTarget(*cmd.port, cmd.baud, cmd.printer));
        return true;
    }
    bool ok = true;
    for (const TargetArg &a : cmd.targets) {
        if (a.kind == TargetArg::Kind::Address) {
            out.push_back(networkTarget(a.value));
            continue;
        }
        TargetFile file = readTargets(a.value, io, cmd.baud);
        for (const std::string &e : file.errors)
            sayError(io, "--targets: " + e);
        if (file.errors.empty() && file.targets.empty()) {
            sayError(io, a.value + ": no printers listed");
            ok = false;
        }
        ok = ok && file.errors.empty();
        out.insert(out.end(), file.targets.begin(), file.targets.end());
    }
    if (!ok)
        io.err << usageHint(cmd.sub) << "\n";
    return ok;
}

int dryRun(const Command &cmd, const protocol::Frame &frame, const std::vector<Target> &targets,
           const Io &io) {
    if (cmd.json) {
        std::string list = "[";
        for (const Target &t : targets)
            list += (list.size() > 1 ? "," : "") + jsonString(t.label);
        io.out << JsonObject()
                      .add("action", subcommandName(cmd.sub))
                      .add("dry_run", true)
                      .add("frame", protocol::toHex(frame))
                      .add("meaning", protocol::decodeFrame(frame).description)
                      .addRaw("targets", list + "]")
                      .str()
               << "\n";
        return kExitOk;
    }
    io.out << frameLine(frame) << "\n";
    for (const Target &t : targets)
        io.out << shown(t.label, io.outIsTerminal) << ": not sent (dry run)\n";
    return kExitOk;
}

// One result line, written through at once; false when standard output failed.
bool writeResult(const Io &io, const std::string &line) {
    io.out << shown(line, io.outIsTerminal) << std::endl;
    return io.out.good();
}

// Which results make exit status 0.
enum class Verdict { EveryOk, AnyShown };

// What to print for one result (nothing for a scanned address without a printer).
using ShowResult =
    std::function<std::optional<std::string>(std::size_t, const app::Outcome &, long long ms)>;

// Serves every target, network ones side by side, and prints each result in target order as
// it comes; returns the exit status.
int serveTargets(const Command &cmd, const Io &io, const std::vector<Target> &targets,
                 const std::function<app::Outcome(std::size_t)> &serve, const ShowResult &show,
                 Verdict verdict) {
    std::vector<bool> network;
    for (const Target &t : targets)
        network.push_back(t.network());
    std::vector<long long> elapsed(targets.size()); // each written by the target's own task
    std::stop_source stop;
    std::optional<InterruptWatch> interrupts;
    if (io.watchSignals)
        interrupts.emplace(stop);
    // Each print-queue document's hold, from its start until its result is shown.
    std::vector<std::optional<InterruptWatch::Hold>> holds(targets.size());
    DescriptorWait descriptors;
    ProgressLine progress(io.err, io.progress, targets.size());
    bool allOk = true;
    bool anyShown = false;
    std::optional<int> outputError; // errno of the first failed write
    std::size_t unshown = 0;
    RunHooks hooks;
    hooks.onProgress = [&](std::size_t done, std::size_t failed) { progress.show(done, failed); };
    const auto showResult = [&](std::size_t i, const app::Outcome &outcome) {
        progress.clear();
        allOk = allOk && outcome.succeeded();
        const std::optional<std::string> line = show(i, outcome, elapsed[i]);
        if (!line)
            return;
        anyShown = true;
        if (outputError) {
            ++unshown;
            return;
        }
        errno = 0;
        if (!writeResult(io, *line)) {
            outputError = errno;
            ++unshown;
            stop.request_stop();
        }
    };
    hooks.onResult = [&](std::size_t i, const app::Outcome &outcome) {
        showResult(i, outcome);
        holds[i].reset();
    };
    const std::size_t notAttempted = runTargets(
        network, cmd.jobs, printersWithinDescriptorLimit(),
        [&](std::size_t i) {
            if (interrupts &&
                device::portKindOf(targets[i].port.portName) == device::PortKind::Driver)
                holds[i].emplace(*interrupts);
            const auto started = std::chrono::steady_clock::now();
            app::Outcome o = descriptors.run([&] { return serve(i); });
            elapsed[i] = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - started)
                             .count();
            return o;
        },
        hooks, stop.get_token());
    progress.clear();
    if (outputError) {
        outputFailed(io, *outputError);
        sayError(io, "stopped: " + counted(unshown, "result") + " of " +
                         counted(targets.size(), "printer") + " not shown, " +
                         std::to_string(notAttempted) + " not attempted");
    } else if (notAttempted > 0) {
        sayError(io, "stopped: " + counted(notAttempted, "printer") + " of " +
                         std::to_string(targets.size()) + " not attempted");
    }
    if (interrupts && interrupts->signal())
        return exitStatusForSignal(interrupts->signal());
    if (outputError)
        return kExitIncomplete;
    return (verdict == Verdict::EveryOk ? allOk : anyShown) ? kExitOk : kExitFailed;
}

// The inputs of one target's exchange, with the bounds the command line gave.
app::ActionInputs inputsFor(const Command &cmd, const Target &target) {
    app::ActionInputs in{target.port, cmd.choices};
    in.verify = cmd.verify;
    in.statusWaitMillis = cmd.statusMillis;
    in.connectMillis = cmd.connectMillis;
    in.writeMillis = cmd.writeMillis;
    in.deliveryWaitMillis = cmd.waitSeconds * 1000;
    return in;
}

int sendFrame(const Command &cmd, app::Action action, const Io &io, device::PosdllFuncs &lib) {
    std::vector<Target> targets;
    if (!collectTargets(cmd, io, targets))
        return kExitUsage;
    const protocol::Frame frame = app::frameFor(action, cmd.choices);
    if (cmd.dryRun)
        return dryRun(cmd, frame, targets, io);
    EndOutsideSlot batchLib(lib);
    return serveTargets(
        cmd, io, targets,
        [&](std::size_t i) { return app::runAction(action, inputsFor(cmd, targets[i]), batchLib); },
        [&](std::size_t i, const app::Outcome &o, long long ms) {
            return cmd.json ? resultJson(targets[i], subcommandName(cmd.sub), frame, o, ms)
                            : resultLine(targets[i], o);
        },
        Verdict::EveryOk);
}

int status(const Command &cmd, const Io &io, device::PosdllFuncs &lib) {
    std::vector<Target> targets;
    if (!collectTargets(cmd, io, targets))
        return kExitUsage;
    return serveTargets(
        cmd, io, targets,
        [&](std::size_t i) { return app::checkStatus(inputsFor(cmd, targets[i]), lib); },
        [&](std::size_t i, const app::Outcome &o, long long ms) {
            return cmd.json ? resultJson(targets[i], "status", {}, o, ms)
                            : statusLine(targets[i], o);
        },
        Verdict::EveryOk);
}

int scan(const Command &cmd, const Io &io, device::PosdllFuncs &lib) {
    std::string why;
    const auto network = parseCidr(cmd.network, &why); // checked while parsing
    std::vector<Target> targets;
    for (const std::string &host : cidrHosts(*network))
        targets.push_back(networkTarget(cmd.scanPort == posdll::kPrinterPort
                                            ? host
                                            : host + ":" + std::to_string(cmd.scanPort)));
    return serveTargets(
        cmd, io, targets,
        [&](std::size_t i) { return app::checkStatus(inputsFor(cmd, targets[i]), lib); },
        [&](std::size_t i, const app::Outcome &o, long long ms) -> std::optional<std::string> {
            if (!o.status) // only what answered as a printer does
                return std::nullopt;
            return cmd.json ? resultJson(targets[i], "scan", {}, o, ms) : targets[i].label;
        },
        Verdict::AnyShown);
}

int decode(const Command &cmd, const Io &io) {
    protocol::Frame bytes;
    for (const std::string &word : cmd.hex) {
        const auto part = protocol::parseHex(word); // checked while parsing
        bytes.insert(bytes.end(), part->begin(), part->end());
    }
    if (bytes.size() == 1) {
        io.out << (cmd.json ? settingByteJson(bytes[0]) : settingByteLine(bytes[0])) << "\n";
        return kExitOk;
    }
    protocol::FrameScanner scanner;
    std::vector<protocol::Frame> chunks = scanner.feed(bytes.data(), bytes.size());
    if (protocol::Frame rest = scanner.finish(); !rest.empty())
        chunks.push_back(std::move(rest));
    bool allKnown = true;
    for (const protocol::Frame &c : chunks) {
        allKnown = allKnown && protocol::decodeFrame(c).kind != protocol::FrameKind::Unknown;
        io.out << (cmd.json ? frameJson(c) : frameLine(c)) << "\n";
    }
    return allKnown ? kExitOk : kExitFailed;
}

int printers(const Command &cmd, const Io &io) {
    const device::PrinterList queues = device::installedPrinters();
    if (!queues.serverAnswered()) {
        io.err << "posdip-cli: " << queues.error << "\n";
        return kExitFailed;
    }
    for (const std::string &q : queues.names)
        io.out << (cmd.json ? JsonObject().add("printer", q).str() : q) << "\n";
    if (queues.names.empty() && !cmd.json)
        io.err << "posdip-cli: no print queues are installed on " << queues.server << "\n";
    return kExitOk;
}

int ports(const Command &cmd, const Io &io) {
    const Environment env = portEnvironment();
    const PortsReport r = reportPorts(presentDevicesWith(env), env);
    for (const PortMapping &m : r.ports) {
        const std::string variable =
            m.overridden ? posdll::overrideVariable(*posdll::parsePortName(m.name)) : "";
        if (cmd.json) {
            io.out << JsonObject()
                          .add("port", m.name)
                          .add("device", m.device)
                          .add("present", m.present)
                          .add("override", variable)
                          .str()
                   << "\n";
            continue;
        }
        io.out << std::left << std::setw(7) << m.name << std::setw(16) << m.device
               << (m.present ? "present" : "missing");
        if (m.overridden)
            io.out << "  (" << variable << ")";
        io.out << "\n";
    }
    for (const std::string &d : r.unmapped) {
        if (cmd.json) {
            io.out << JsonObject()
                          .addRaw("port", "null")
                          .add("device", d)
                          .add("present", true)
                          .add("override", "")
                          .str()
                   << "\n";
            continue;
        }
        const bool serial = d.find("/tty") != std::string::npos;
        io.out << std::left << std::setw(7) << "-" << std::setw(16) << d << "present  (set "
               << (serial ? "POSDLL_PORT_COMn=" : "POSDLL_PORT_LPTn=") << d << " to use it)\n";
    }
    return kExitOk;
}

} // namespace

int runCli(const std::vector<std::string> &args, const Io &io, device::PosdllFuncs &lib) {
    const ParseResult parsed = parseArgs(args);
    if (const auto *e = std::get_if<UsageError>(&parsed))
        return usage(io, e->message, e->sub);
    if (const auto *h = std::get_if<ShowHelp>(&parsed)) {
        io.out << helpText(h->sub);
        return kExitOk;
    }
    if (std::holds_alternative<ShowVersion>(parsed)) {
        io.out << versionText();
        return kExitOk;
    }
    const Command &cmd = std::get<Command>(parsed);
    if (const auto action = actionOf(cmd.sub))
        return sendFrame(cmd, *action, io, lib);
    switch (cmd.sub) {
    case Subcommand::Decode:
        return decode(cmd, io);
    case Subcommand::Printers:
        return printers(cmd, io);
    case Subcommand::Ports:
        return ports(cmd, io);
    case Subcommand::Status:
        return status(cmd, io, lib);
    case Subcommand::Scan:
        return scan(cmd, io, lib);
    case Subcommand::Enable:
    case Subcommand::Disable:
    case Subcommand::Restore:
    case Subcommand::Store:
    case Subcommand::SelfTest:
        break; // sent above, each by its action
    }
    return kExitUsage; // not reached: every subcommand is handled above
}

int outputFailed(const Io &io, int err) {
    sayError(io, std::string("cannot write to standard output: ") +
                     (err ? posdll::errnoText(err) : "write error"));
    return kExitIncomplete;
}

} // namespace cli
