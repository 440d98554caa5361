#include "app/actions.h"

#include "app/message.h"

#include "device/port_kind.h"
#include "posdll/queue_refusal.h"
#include "posdll/quoted.h"
#include "protocol/frames.h"

namespace app {

namespace {

using Clock = std::chrono::steady_clock;

// The result with the time since `started`.
Result timed(Result r, Clock::time_point started) {
    r.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started);
    return r;
}

// The printer's answer when it is not ready, or the reason it gave none.
std::optional<std::string> notReadyReason(const device::StatusReading &s) {
    if (!s.answered)
        return s.reason;
    if (s.summary.ready)
        return std::nullopt;
    return protocol::describeSummary(s.summary);
}

void applyBounds(const ActionInputs &in, device::PosdllFuncs &lib) {
    if (in.connectMillis > 0 || in.writeMillis > 0)
        lib.POS_SetTimeouts(in.connectMillis, in.writeMillis);
}

// The result of a status reading that stops a printer from being used.
std::optional<Result> statusFailure(device::StatusReading &s) {
    const auto why = notReadyReason(s);
    if (!why)
        return std::nullopt;
    Result r = failure(s.answered ? device::FailKind::NotReady : s.kind, device::Stage::Status,
                       *why, s.answered ? 0 : s.error);
    if (s.answered)
        r.status = std::move(s);
    return r;
}

// A print queue passes nothing back from its printer: its own state, and what the server knows
// of the printer, is what there is.
Result checkQueue(const ActionInputs &in) {
    device::QueueStatus q = device::queueStatus(in.port.printerName);
    const std::string where = "print queue " + posdll::quoted(q.queue) + ": ";
    Result r;
    if (!q.error.empty())
        r = failure(q.failKind, device::Stage::Open, where + q.error, q.failErrno);
    else if (!q.exists)
        r = failure(device::FailKind::Missing, device::Stage::Open, where + "no such queue");
    else if (!q.accepting || q.stopped)
        r = failure(device::FailKind::Queue, device::Stage::Status,
                    where + posdll::queueRefusalText(q.stopped ? posdll::QueueRefusal::Stopped
                                                               : posdll::QueueRefusal::NotAccepting,
                                                     q.queue, q.reason));
    else if (!q.printerTrouble.empty())
        r = failure(device::FailKind::NotReady, device::Stage::Status, where + q.printerTrouble);
    if (q.error.empty() && q.exists)
        r.queue = std::move(q);
    return r;
}

bool isDriver(const ActionInputs &in) {
    return device::portKindOf(in.port.portName) == device::PortKind::Driver;
}

} // namespace

Result failure(device::FailKind kind, device::Stage stage, std::string reason, int error) {
    Result r;
    r.kind = kind;
    r.error = error;
    r.stage = stage;
    r.reason = std::move(reason);
    return r;
}

const ActionEntry &actionEntry(Action action) {
    using protocol::Frame;
    using protocol::SettingChoices;
    static constexpr ActionEntry kEnable{
        .caption = "Enable DIP Switch",
        .subcommand = "enable",
        .summary = "enable the DIP switch",
        .sends = "the enable frame",
        .success = kRestartFirst,
        .frame = [](const SettingChoices &) { return protocol::enableFrame(); }};
    static constexpr ActionEntry kDisable{
        .caption = "Disable DIP Switch",
        .subcommand = "disable",
        .summary = "disable the DIP switch",
        .sends = "the disable frame",
        .success = kRestartFirst,
        .frame = [](const SettingChoices &) { return protocol::disableFrame(); }};
    static constexpr ActionEntry kRestore{.caption = "Restore Default Setting",
                                          .subcommand = "restore",
                                          .summary = "store the default setting",
                                          .sends = "the write-setting frame with the default byte",
                                          .success = kRestart,
                                          .frame = [](const SettingChoices &) {
                                              return protocol::writeSettingFrame(
                                                  protocol::kDefaultSetting);
                                          }};
    static constexpr ActionEntry kStore{
        .caption = "Store Setting",
        .subcommand = "store",
        .summary = "set all seven settings, defaults if not given",
        .sends = "the write-setting frame with all seven settings: those not given take\n"
                 "their defaults, not the printer's present values. With none given",
        .success = kRestart,
        .frame = [](const SettingChoices &c) {
            return protocol::writeSettingFrame(protocol::composeSettingByte(c));
        }};
    static constexpr ActionEntry kSelfTest{
        .caption = "Print Selftest",
        .subcommand = "selftest",
        .summary = "make the printer print its self-test",
        .sends = "the self-test frame",
        .success = nullptr,
        .frame = [](const SettingChoices &) { return protocol::selfTestFrame(); }};
    static constexpr ActionEntry kClose{.caption = "Close",
                                        .subcommand = "",
                                        .summary = "",
                                        .sends = "",
                                        .success = nullptr,
                                        .frame = [](const SettingChoices &) { return Frame{}; },
                                        .quits = true};
    switch (action) {
    case Action::EnableDip:
        return kEnable;
    case Action::DisableDip:
        return kDisable;
    case Action::RestoreDefault:
        return kRestore;
    case Action::StoreSetting:
        return kStore;
    case Action::PrintSelfTest:
        return kSelfTest;
    case Action::Close:
        return kClose;
    }
    return kClose; // not reached: every action is named above
}

protocol::Frame frameFor(Action action, const protocol::SettingChoices &choices) {
    return actionEntry(action).frame(choices);
}

const char *actionName(Action action) {
    return actionEntry(action).caption;
}

Result runAction(Action action, const ActionInputs &in, device::PosdllFuncs &lib) {
    const ActionEntry &entry = actionEntry(action);
    if (entry.quits)
        return {};
    const auto started = Clock::now();
    const protocol::Frame frame = entry.frame(in.choices);
    const bool driver = isDriver(in);
    std::optional<device::QueueStatus> queue;
    if (in.verify && driver) { // the queue's word, before a job is made
        Result checked = checkQueue(in);
        if (!checked.succeeded()) {
            checked.reason += "; nothing was sent";
            return timed(std::move(checked), started);
        }
        queue = std::move(checked.queue);
    }
    applyBounds(in, lib);
    const device::OpenResult port = device::OpenPort(lib, in.port);
    if (!port.opened())
        return timed(failure(port.kind, device::Stage::Open, port.reason, port.error), started);

    std::optional<std::string> serial;
    if (in.gate) {
        if (!isDriver(in))
            serial = device::readSerialNumber(lib, port.handle, in.statusWaitMillis);
        if (const Gate gate = in.gate(serial); gate != Gate::Send) {
            device::ClosePort(lib);
            Result left; // nothing sent: a rehearsal is a plain success
            left.kind =
                gate == Gate::Unchanged ? device::FailKind::Unchanged : device::FailKind::Ok;
            left.serial = std::move(serial);
            return timed(std::move(left), started);
        }
    }

    std::optional<device::StatusReading> status;
    if (in.verify && !driver) {
        status = device::readStatus(lib, port.handle, in.statusWaitMillis);
        if (auto refused = statusFailure(*status)) {
            device::ClosePort(lib);
            refused->reason += "; nothing was sent";
            return timed(std::move(*refused), started);
        }
    }

    lib.POS_SetDeliveryWait(in.deliveryWaitMillis);
    const device::WriteResult w =
        device::writeTransaction(lib, port.handle, frame, std::string("posdip: ") + entry.caption);
    if (!w.ok) {
        Result failed = writeFailure(w);
        failed.serial = std::move(serial);
        return timed(std::move(failed), started);
    }
    Result r;
    r.written = w.written;
    r.serial = std::move(serial);
    r.status = std::move(status);
    r.queue = std::move(queue);
    if (in.deliveryWaitMillis == 0 && driver)
        r.kind = device::FailKind::Spooled;
    return timed(std::move(r), started);
}

Result statusResult(device::StatusReading reading) {
    if (auto refused = statusFailure(reading))
        return std::move(*refused);
    Result r;
    r.status = std::move(reading);
    return r;
}

Result writeFailure(const device::WriteResult &w) {
    Result r = failure(w.kind, w.stage, w.reason, w.error);
    r.written = w.written;
    return r;
}

namespace {

Result readPrinter(const ActionInputs &in, device::PosdllFuncs &lib, bool identify) {
    const auto started = Clock::now();
    if (isDriver(in))
        return timed(checkQueue(in), started);
    applyBounds(in, lib);
    const device::OpenResult port = device::OpenPort(lib, in.port);
    if (!port.opened())
        return timed(failure(port.kind, device::Stage::Open, port.reason, port.error), started);
    device::StatusReading reading = device::readStatus(lib, port.handle, in.statusWaitMillis);
    std::optional<device::Identity> identity;
    if (identify && reading.answered) // a printer that does not answer its status is not asked
        identity = device::readIdentity(lib, port.handle, in.statusWaitMillis);
    device::ClosePort(lib); // what the printer said stands, whatever the close says
    Result r = statusResult(std::move(reading));
    r.identity = std::move(identity);
    return timed(std::move(r), started);
}

} // namespace

Result checkStatus(const ActionInputs &in, device::PosdllFuncs &lib) {
    return readPrinter(in, lib, false);
}

Result identifyPrinter(const ActionInputs &in, device::PosdllFuncs &lib) {
    return readPrinter(in, lib, true);
}

} // namespace app
