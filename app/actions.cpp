#include "app/actions.h"

#include "device/port_kind.h"
#include "protocol/frames.h"

namespace app {

namespace {

Outcome message(MessageIcon icon, std::string text, std::string detail = {}) {
    return Outcome{OutcomeKind::Message, icon == MessageIcon::Error ? "error" : "info", icon,
                   std::move(text), std::move(detail)};
}

} // namespace

const ActionSpec &actionSpec(Action action) {
    using protocol::Frame;
    using protocol::OptionStates;
    static constexpr ActionSpec kEnable{
        .caption = "Enable DIP Switch",
        .subcommand = "enable",
        .summary = "enable the DIP switch",
        .sends = "the enable frame",
        .success = kRestartFirst,
        .frame = [](const OptionStates &) { return protocol::enableFrame(); }};
    static constexpr ActionSpec kDisable{
        .caption = "Disable DIP Switch",
        .subcommand = "disable",
        .summary = "disable the DIP switch",
        .sends = "the disable frame",
        .success = kRestartFirst,
        .frame = [](const OptionStates &) { return protocol::disableFrame(); }};
    static constexpr ActionSpec kRestore{.caption = "Restore Default Setting",
                                         .subcommand = "restore",
                                         .summary = "store the default setting",
                                         .sends = "the write-setting frame with the default byte",
                                         .success = kRestart,
                                         .frame = [](const OptionStates &) {
                                             return protocol::writeSettingFrame(
                                                 protocol::kDefaultSetting);
                                         }};
    static constexpr ActionSpec kStore{
        .caption = "Store Setting",
        .subcommand = "store",
        .summary = "store a setting chosen by name or as --byte",
        .sends = "the write-setting frame, its last byte composed from the choices below\n"
                 "(with none given)",
        .success = kRestart,
        .frame = [](const OptionStates &o) {
            return protocol::writeSettingFrame(protocol::composeSettingByte(o));
        }};
    static constexpr ActionSpec kSelfTest{
        .caption = "Print Selftest",
        .subcommand = "selftest",
        .summary = "make the printer print its self-test",
        .sends = "the self-test frame",
        .success = nullptr,
        .frame = [](const OptionStates &) { return protocol::selfTestFrame(); }};
    static constexpr ActionSpec kClose{.caption = "Close",
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
    return actionSpec(action).frame(options);
}

const char *actionName(Action action) {
    return actionSpec(action).caption;
}

Outcome runAction(Action action, const ActionInputs &in, device::PosdllFuncs &lib) {
    const ActionSpec &spec = actionSpec(action);
    if (spec.quits)
        return Outcome{OutcomeKind::Quit, {}, MessageIcon::Information, {}, {}};

    const protocol::Frame frame = spec.frame(in.options);
    const device::OpenResult port = device::OpenPort(lib, in.port);
    if (!port.opened())
        return message(MessageIcon::Error, kOpenFailed, port.reason);

    lib.POS_SetDeliveryWait(in.deliveryWaitMillis);
    const device::WriteResult w =
        device::writeTransaction(lib, port.handle, frame, std::string("posdip: ") + spec.caption);
    if (!w.ok)
        return message(MessageIcon::Error, kWriteFailed, w.reason);
    if (!spec.success)
        return Outcome{}; // the self-test shows nothing
    return message(MessageIcon::Information, spec.success);
}

bool onlySpooled(const ActionInputs &in, const Outcome &outcome) {
    return outcome.succeeded() && in.deliveryWaitMillis == 0 &&
           device::portKindOf(in.port.portName) == device::PortKind::Driver;
}

} // namespace app
