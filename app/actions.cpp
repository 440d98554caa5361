#include "app/actions.h"

#include "device/port_kind.h"
#include "posdll/queue_refusal.h"
#include "posdll/quoted.h"
#include "protocol/frames.h"

namespace app {

namespace {

Outcome failure(std::string text, std::string detail, device::FailKind kind, device::Stage stage) {
    Outcome o = messageOutcome(MessageIcon::Error, std::move(text), std::move(detail));
    o.failKind = kind;
    o.stage = stage;
    return o;
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

// The outcome of a status reading that stops a printer from being used.
std::optional<Outcome> statusFailure(device::StatusReading &s) {
    const auto why = notReadyReason(s);
    if (!why)
        return std::nullopt;
    Outcome o = failure(kNotReady, *why, s.answered ? device::FailKind::NotReady : s.kind,
                        device::Stage::Status);
    if (s.answered)
        o.status = std::move(s);
    return o;
}

// A print queue says nothing of its printer: its own state is what there is.
Outcome checkQueue(const ActionInputs &in) {
    device::QueueStatus q = device::queueStatus(in.port.printerName);
    const std::string where = "print queue " + posdll::quoted(q.queue) + ": ";
    Outcome o;
    if (!q.error.empty())
        o = failure(kOpenFailed, where + q.error, q.failKind, device::Stage::Open);
    else if (!q.exists)
        o = failure(kOpenFailed, where + "no such queue", device::FailKind::Missing,
                    device::Stage::Open);
    else if (!q.ready())
        o = failure(kNotReady,
                    where + posdll::queueRefusalText(q.stopped ? posdll::QueueRefusal::Stopped
                                                               : posdll::QueueRefusal::NotAccepting,
                                                     q.queue, q.reason),
                    device::FailKind::Queue, device::Stage::Status);
    if (q.error.empty() && q.exists)
        o.queue = std::move(q);
    return o;
}

} // namespace

Outcome messageOutcome(MessageIcon icon, std::string text, std::string detail) {
    Outcome o;
    o.kind = OutcomeKind::Message;
    o.title = icon == MessageIcon::Error ? "error" : "info";
    o.icon = icon;
    o.text = std::move(text);
    o.detail = std::move(detail);
    return o;
}

const ActionEntry &actionEntry(Action action) {
    using protocol::Frame;
    using protocol::OptionStates;
    static constexpr ActionEntry kEnable{
        .caption = "Enable DIP Switch",
        .subcommand = "enable",
        .summary = "enable the DIP switch",
        .sends = "the enable frame",
        .success = kRestartFirst,
        .frame = [](const OptionStates &) { return protocol::enableFrame(); }};
    static constexpr ActionEntry kDisable{
        .caption = "Disable DIP Switch",
        .subcommand = "disable",
        .summary = "disable the DIP switch",
        .sends = "the disable frame",
        .success = kRestartFirst,
        .frame = [](const OptionStates &) { return protocol::disableFrame(); }};
    static constexpr ActionEntry kRestore{.caption = "Restore Default Setting",
                                          .subcommand = "restore",
                                          .summary = "store the default setting",
                                          .sends = "the write-setting frame with the default byte",
                                          .success = kRestart,
                                          .frame = [](const OptionStates &) {
                                              return protocol::writeSettingFrame(
                                                  protocol::kDefaultSetting);
                                          }};
    static constexpr ActionEntry kStore{
        .caption = "Store Setting",
        .subcommand = "store",
        .summary = "store a setting chosen by name or as --byte",
        .sends = "the write-setting frame, its last byte composed from the choices below\n"
                 "(with none given)",
        .success = kRestart,
        .frame = [](const OptionStates &o) {
            return protocol::writeSettingFrame(protocol::composeSettingByte(o));
        }};
    static constexpr ActionEntry kSelfTest{
        .caption = "Print Selftest",
        .subcommand = "selftest",
        .summary = "make the printer print its self-test",
        .sends = "the self-test frame",
        .success = nullptr,
        .frame = [](const OptionStates &) { return protocol::selfTestFrame(); }};
    static constexpr ActionEntry kClose{.caption = "Close",
                                        .subcommand = "",
                                        .summary = "",
                                        .sends = "",
                                        .success = nullptr,
                                        .frame = [](const OptionStates &) { return Frame{}; },
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

protocol::Frame frameFor(Action action, const protocol::OptionStates &options) {
    return actionEntry(action).frame(options);
}

const char *actionName(Action action) {
    return actionEntry(action).caption;
}

Outcome runAction(Action action, const ActionInputs &in, device::PosdllFuncs &lib) {
    const ActionEntry &entry = actionEntry(action);
    if (entry.quits) {
        Outcome quit;
        quit.kind = OutcomeKind::Quit;
        return quit;
    }

    const protocol::Frame frame = entry.frame(in.options);
    applyBounds(in, lib);
    const device::OpenResult port = device::OpenPort(lib, in.port);
    if (!port.opened())
        return openFailure(port.reason, port.kind);

    std::optional<device::StatusReading> status;
    if (in.verify) {
        status = device::readStatus(lib, port.handle, in.statusWaitMillis);
        if (auto refused = statusFailure(*status)) {
            device::ClosePort(lib);
            refused->detail += "; nothing was sent";
            return *refused;
        }
    }

    lib.POS_SetDeliveryWait(in.deliveryWaitMillis);
    const device::WriteResult w =
        device::writeTransaction(lib, port.handle, frame, std::string("posdip: ") + entry.caption);
    if (!w.ok)
        return writeFailure(w);

    Outcome o;
    if (entry.success) // the self-test shows nothing
        o = messageOutcome(MessageIcon::Information, entry.success);
    o.status = std::move(status);
    if (onlySpooled(in, o))
        o.failKind = device::FailKind::Spooled;
    return o;
}

Outcome checkStatus(const ActionInputs &in, device::PosdllFuncs &lib) {
    if (device::portKindOf(in.port.portName) == device::PortKind::Driver)
        return checkQueue(in);
    applyBounds(in, lib);
    const device::OpenResult port = device::OpenPort(lib, in.port);
    if (!port.opened())
        return openFailure(port.reason, port.kind);
    device::StatusReading reading = device::readStatus(lib, port.handle, in.statusWaitMillis);
    device::ClosePort(lib); // what the printer said stands, whatever the close says
    return statusOutcome(std::move(reading));
}

Outcome openFailure(std::string reason, device::FailKind kind) {
    return failure(kOpenFailed, std::move(reason), kind, device::Stage::Open);
}

Outcome statusOutcome(device::StatusReading reading) {
    if (auto refused = statusFailure(reading))
        return *refused;
    Outcome o;
    o.status = std::move(reading);
    return o;
}

Outcome writeFailure(const device::WriteResult &w) {
    return failure(kWriteFailed, w.reason, w.kind, w.stage);
}

bool onlySpooled(const ActionInputs &in, const Outcome &outcome) {
    return outcome.succeeded() && in.deliveryWaitMillis == 0 &&
           device::portKindOf(in.port.portName) == device::PortKind::Driver;
}

} // namespace app
