#include "commands.h"

#include "check.h"
#include "cli_args.h"
#include "device/port_scan.h"
#include "help.h"
#include "interrupt.h"
#include "output.h"
#include "progress.h"

#include "batch/batch.h"
#include "batch/metrics.h"

#include "device/port_kind.h"
#include "device/printers.h"
#include "posdll/fd.h"
#include "posdll/port_devices.h"
#include "posdll/quoted.h"
#include "protocol/frame_decode.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <functional>
#include <iomanip>
#include <iostream>
#include <optional>
#include <span>
#include <stop_token>
#include <system_error>

namespace cli {

namespace {

using batch::Target;
using batch::TargetFile;

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
        return batch::readTargetFile(io.in, "stdin", defaultBaud);
    std::ifstream f(path, std::ios::binary);
    if (!f)
        return {{}, {"cannot read " + posdll::quoted(path) + ": " + posdll::errnoText(errno)}};
    TargetFile file = batch::readTargetFile(f, path, defaultBaud);
    if (f.bad())
        file.errors.push_back("cannot read " + posdll::quoted(path) + ": " +
                              posdll::errnoText(errno));
    return file;
}

// "COM ports": the targets an option for one kind of port serves.
const char *portKindWords(device::PortKind kind) {
    switch (kind) {
    case device::PortKind::Ethernet:
        return "network printers";
    case device::PortKind::Serial:
        return "COM ports";
    case device::PortKind::Parallel:
        return "LPT ports";
    case device::PortKind::Driver:
        return "print queues (DRIVER)";
    case device::PortKind::Unknown:
        break;
    }
    return "ports";
}

// An option for one kind of port, given with no such target, would be ignored: it is refused,
// since the user meant something else (--baud for --set-baud). False after saying so.
bool optionsServeTargets(const Command &cmd, const std::vector<Target> &targets, const Io &io) {
    for (const std::string &name : cmd.portOptions) {
        const OptionRow &row = *optionRow(name);
        if (std::ranges::any_of(targets, [&](const Target &t) {
                return device::portKindOf(t.port.portName) == *row.forPort;
            }))
            continue;
        sayError(io, name + " is for " + portKindWords(*row.forPort) +
                         ", and none is among the printers given" +
                         (row.insteadHint.empty() ? "" : "; " + row.insteadHint));
        return false;
    }
    return true;
}

// The targets in command-line order; false after printing the usage errors.
bool collectTargets(const Command &cmd, const Io &io, std::vector<Target> &out) {
    bool ok = true;
    if (cmd.port)
        out.push_back(batch::portTarget(*cmd.port, cmd.baud, cmd.printer));
    for (const TargetArg &a : cmd.targets) {
        if (a.kind == TargetArg::Kind::Address) {
            out.push_back(batch::networkTarget(a.value));
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
    ok = ok && optionsServeTargets(cmd, out, io);
    if (cmd.json) { // the device file each COM and LPT target opens, for the JSON lines
        device::MachinePorts machine;
        for (Target &t : out)
            t.device = machine.deviceOf(t.port.portName);
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
        JsonObject o = jsonLine();
        o.add("action", subcommandName(cmd.sub))
            .add("dry_run", true)
            .add("frame", protocol::toHex(frame))
            .add("meaning", protocol::decodeFrame(frame).description);
        if (const std::string setting = settingJsonOf(frame); !setting.empty())
            o.addRaw("setting", setting);
        io.out << o.addRaw("targets", list + "]").str() << "\n";
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

// Runs a batch with the signal watch, the progress line and output errors; `show` gives what to
// print for one result (nothing when empty); returns the exit status.
using ShowResult = std::function<std::optional<std::string>(const batch::Result &)>;
using RunBatch = std::function<batch::Summary(const batch::Hooks &, std::stop_token)>;

// The counts a quiet batch ends with: "12 printers: 10 ok, 1 spooled, 1 failed".
struct Counts {
    std::size_t ok = 0, spooled = 0, failed = 0;
    void add(const app::Result &r) {
        ++(!r.succeeded() ? failed : r.kind == device::FailKind::Spooled ? spooled : ok);
    }
    std::string line(std::size_t total, std::size_t notAttempted) const {
        std::string text = counted(total, "printer") + ": " + std::to_string(ok) + " ok";
        if (spooled)
            text += ", " + std::to_string(spooled) + " spooled";
        text += ", " + std::to_string(failed) + " failed";
        return notAttempted ? text + ", " + std::to_string(notAttempted) + " not attempted" : text;
    }
};

// `listed`: the targets, each of which gets a line, "not attempted" after a stop (empty for a
// scan, whose addresses get a line only when a printer answers).
int runBatch(const Command &cmd, const Io &io, std::size_t total, std::span<const Target> listed,
             const RunBatch &run, const ShowResult &show, bool anyResultIsOk) {
    std::stop_source stop;
    std::optional<InterruptWatch> interrupts;
    try {
        if (io.watchSignals)
            interrupts.emplace(stop);
    } catch (const std::system_error &e) { // before any printer is reached
        sayError(io, "cannot start a thread to watch for signals: " +
                         posdll::errnoText(e.code().value()));
        return kExitIncomplete;
    }
    // Each print-queue document's hold, from its start until its result is shown.
    std::vector<std::optional<InterruptWatch::Hold>> holds(interrupts ? total : 0);
    ProgressLine progress(io.err, io.progress && !cmd.quiet, total);
    Counts counts;
    std::vector<bool> shown(listed.size()); // by index: handed over by the batch
    std::optional<int> outputError;         // errno of the first failed write
    std::size_t unshown = 0;
    batch::Hooks hooks;
    hooks.onProgress = [&](std::size_t done, std::size_t failed) { progress.show(done, failed); };
    const auto showResult = [&](const batch::Result &r) {
        progress.clear();
        counts.add(r.result);
        if (r.index < shown.size())
            shown[r.index] = true;
        const std::optional<std::string> line = show(r);
        if (!line || (cmd.quiet && r.result.succeeded()))
            return;
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
    hooks.onResult = [&](const batch::Result &r) {
        showResult(r);
        if (!holds.empty())
            holds[r.index].reset();
    };
    if (interrupts)
        hooks.onMustFinish = [&](std::size_t i) { holds[i].emplace(*interrupts); };
    const batch::Summary summary = run(hooks, stop.get_token());
    progress.clear();
    // So that a script counts one line a target, even after a stop.
    for (std::size_t i = 0; i < listed.size() && summary.notAttempted > 0 && !outputError; ++i)
        if (!shown[i] &&
            !writeResult(io, cmd.json ? notAttemptedJson(listed[i], subcommandName(cmd.sub))
                                      : listed[i].label + ": not attempted"))
            outputError = errno;
    if (summary.descriptorShortages > 0)
        sayError(io, "out of file descriptors " + counted(summary.descriptorShortages, "time") +
                         " (the open-file limit, ulimit -n, or the system's): those printers "
                         "waited for others to end");
    if (outputError) {
        outputFailed(io, *outputError);
        sayError(io, "stopped: " + counted(unshown, "result") + " of " + counted(total, "printer") +
                         " not shown, " + std::to_string(summary.notAttempted) + " not attempted");
    } else if (summary.notAttempted > 0) {
        sayError(io, "stopped: " + counted(summary.notAttempted, "printer") + " of " +
                         std::to_string(total) + " not attempted");
    }
    if (cmd.quiet && io.errIsTerminal)
        io.err << counts.line(total, summary.notAttempted) << "\n";
    if (interrupts && interrupts->signal())
        return exitStatusForSignal(interrupts->signal());
    if (outputError)
        return kExitIncomplete;
    const bool ok = anyResultIsOk ? summary.results > 0 : summary.failed == 0;
    return ok ? kExitOk : kExitFailed;
}

// The bounds the command line gave.
batch::Bounds boundsOf(const Command &cmd) {
    batch::Bounds b;
    b.jobs = cmd.jobs;
    b.connectMillis = cmd.connectMillis;
    b.writeMillis = cmd.writeMillis;
    b.statusMillis = cmd.statusMillis;
    b.deliveryMillis = cmd.waitSeconds * 1000;
    b.verify = cmd.verify;
    return b;
}

// The ledger of a store or restore with --if-changed or --ledger, read before any printer is
// reached; false after saying why it cannot be.
bool openLedger(const Command &cmd, const Io &io, std::optional<batch::LedgerFile> &out) {
    std::string why;
    const std::string path = cmd.ledgerPath ? *cmd.ledgerPath : batch::defaultLedgerPath(&why);
    if (!path.empty()) {
        out.emplace(path);
        if (out->load(&why))
            return true;
    }
    sayError(io, why);
    return false;
}

int sendFrame(const Command &cmd, app::Action action, const Io &io, device::PosdllFuncs &lib) {
    std::vector<Target> targets;
    if (!collectTargets(cmd, io, targets))
        return kExitUsage;
    const protocol::Frame frame = app::frameFor(action, cmd.choices);
    if (cmd.dryRun && !cmd.ifChanged)
        return dryRun(cmd, frame, targets, io);
    std::optional<batch::LedgerFile> ledger;
    if ((cmd.ifChanged || cmd.ledgerPath) && !openLedger(cmd, io, ledger))
        return kExitIncomplete;
    std::optional<batch::LedgerUse> use;
    if (ledger)
        use.emplace(batch::LedgerUse{ledger->ledger(), cmd.ifChanged && !cmd.force, cmd.dryRun});
    std::string unrecorded; // why the ledger could not be written
    const int status = runBatch(
        cmd, io, targets.size(), targets,
        [&](const batch::Hooks &hooks, std::stop_token stop) {
            batch::Summary s = batch::send(action, cmd.choices, targets, boundsOf(cmd), lib, hooks,
                                           stop, use ? &*use : nullptr);
            if (ledger && !s.stored.empty())
                ledger->add(s.stored, &unrecorded);
            return s;
        },
        [&](const batch::Result &r) {
            // A rehearsal has nothing to tell: the frame was not sent.
            const app::Message m = cmd.dryRun ? app::Message{} : app::messageFor(action, r.result);
            if (cmd.json)
                return resultJson(r.target, subcommandName(cmd.sub), frame, r.result, m, r.ledger,
                                  cmd.dryRun);
            return r.ledger ? ledgerResultLine(r.target, r.result, m, *r.ledger, cmd.dryRun)
                            : resultLine(r.target, r.result, m);
        },
        false);
    if (unrecorded.empty())
        return status;
    sayError(io, unrecorded + "; the printers it leaves out took their setting all the same");
    return status == kExitOk || status == kExitFailed ? kExitIncomplete : status;
}

// The readings of every target written to the --metrics file instead of printed.
int writeMetrics(const Command &cmd, const Io &io, device::PosdllFuncs &lib,
                 const std::vector<Target> &targets) {
    std::vector<batch::MetricsSample> samples;
    const auto started = std::chrono::steady_clock::now();
    const int status = runBatch(
        cmd, io, targets.size(), {}, // the lines go to the metrics file
        [&](const batch::Hooks &hooks, std::stop_token stop) {
            return cmd.identify ? batch::identify(targets, boundsOf(cmd), lib, hooks, stop)
                                : batch::status(targets, boundsOf(cmd), lib, hooks, stop);
        },
        [&](const batch::Result &r) {
            samples.push_back({r.target.label, r.result});
            return std::nullopt;
        },
        false);
    if (status != kExitOk && status != kExitFailed) // stopped: the last full reading stays
        return status;
    batch::MetricsRun run;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    run.finishedAt =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    run.identity = cmd.identify;
    if (const std::string why =
            batch::replaceFile(cmd.metricsPath, batch::metricsText(samples, run));
        !why.empty()) {
        sayError(io, "--metrics: " + why);
        return kExitIncomplete;
    }
    return kExitOk;
}

int status(const Command &cmd, const Io &io, device::PosdllFuncs &lib) {
    std::vector<Target> targets;
    if (!collectTargets(cmd, io, targets))
        return kExitUsage;
    if (!cmd.metricsPath.empty())
        return writeMetrics(cmd, io, lib, targets);
    return runBatch(
        cmd, io, targets.size(), targets,
        [&](const batch::Hooks &hooks, std::stop_token stop) {
            return cmd.identify ? batch::identify(targets, boundsOf(cmd), lib, hooks, stop)
                                : batch::status(targets, boundsOf(cmd), lib, hooks, stop);
        },
        [&](const batch::Result &r) {
            if (cmd.json)
                return resultJson(r.target, "status", {}, r.result, app::statusMessage(r.result));
            const std::string id = r.result.identity ? identityText(*r.result.identity) : "";
            return statusLine(r.target, r.result) + (id.empty() ? "" : " (" + id + ")");
        },
        false);
}

int identify(const Command &cmd, const Io &io, device::PosdllFuncs &lib) {
    std::vector<Target> targets;
    if (!collectTargets(cmd, io, targets))
        return kExitUsage;
    std::size_t unanswered = 0;
    const int status = runBatch(
        cmd, io, targets.size(), targets,
        [&](const batch::Hooks &hooks, std::stop_token stop) {
            return batch::identify(targets, boundsOf(cmd), lib, hooks, stop);
        },
        [&](const batch::Result &r) {
            unanswered += r.result.status ? 0 : 1;
            return cmd.json ? resultJson(r.target, "identify", {}, r.result,
                                         app::statusMessage(r.result))
                            : identityLine(r.target, r.result);
        },
        false);
    // A printer that answered is identified, ready or not, ID or none.
    return status == kExitFailed && unanswered == 0 ? kExitOk : status;
}

// One printer, one line for a monitoring system; whatever goes wrong is UNKNOWN there.
int check(const Command &cmd, const Io &io, device::PosdllFuncs &lib) {
    std::vector<Target> targets;
    if (!collectTargets(cmd, io, targets))
        return sayReport(io, checkUnknown("the printers to check cannot be read"));
    if (targets.size() != 1)
        return sayReport(io, checkUnknown("check takes one printer, " +
                                          counted(targets.size(), "printer") + " given"));
    return runCheck(targets.front(), cmd, io, lib);
}

int scan(const Command &cmd, const Io &io) {
    std::string why;
    const auto network = batch::parseCidr(cmd.network, &why); // checked while parsing
    return runBatch(
        cmd, io, batch::cidrHostCount(*network), {},
        [&](const batch::Hooks &hooks, std::stop_token stop) {
            return batch::scan(*network, cmd.scanPort, boundsOf(cmd), hooks, stop);
        },
        [&](const batch::Result &r) {
            return cmd.json
                       ? resultJson(r.target, "scan", {}, r.result, app::statusMessage(r.result))
                       : r.target.label;
        },
        true);
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
    for (const device::QueueEntry &q : queues.queues)
        io.out << (cmd.json ? jsonLine()
                                  .add("printer", q.name)
                                  .add("state", device::queueStateName(q.state))
                                  .add("accepting", q.accepting)
                                  .addText("device_uri", q.deviceUri)
                                  .str()
                            : q.name)
               << "\n";
    if (queues.queues.empty() && !cmd.json)
        io.err << "posdip-cli: no print queues are installed on " << queues.server << "\n";
    return kExitOk;
}

int ports(const Command &cmd, const Io &io) {
    const device::Environment env = device::portEnvironment();
    const device::PortsReport r = device::reportPorts(device::presentDevicesWith(env), env);
    for (const device::PortMapping &m : r.ports) {
        const std::string variable =
            m.overridden ? posdll::overrideVariable(*posdll::parsePortName(m.name)) : "";
        if (cmd.json) {
            io.out << jsonLine()
                          .add("port", m.name)
                          .add("device", m.device)
                          .add("present", m.present)
                          .addText("override", variable)
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
            io.out << jsonLine().addRaw("port", "null").add("device", d).add("present", true).str()
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
    if (const auto *e = std::get_if<UsageError>(&parsed)) {
        if (e->sub == Subcommand::Check) { // the monitoring system reads stdout and the status
            io.err << usageHint(e->sub) << "\n";
            return sayReport(io, checkUnknown(e->message));
        }
        return usage(io, e->message, e->sub);
    }
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
    case Subcommand::Identify:
        return identify(cmd, io, lib);
    case Subcommand::Check:
        return check(cmd, io, lib);
    case Subcommand::Scan:
        return scan(cmd, io);
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
