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

protocol::Frame frameFor(Action action, const protocol::OptionStates &options) {
    switch (action) {
    case Action::EnableDip:
        return protocol::enableFrame();
    case Action::DisableDip:
        return protocol::disableFrame();
    case Action::RestoreDefault:
        return protocol::writeSettingFrame(protocol::kDefaultSetting);
    case Action::StoreSetting:
        return protocol::writeSettingFrame(protocol::composeSettingByte(options));
    case Action::PrintSelfTest:
        return protocol::selfTestFrame();
    case Action::Close:
        break;
    }
    return {};
}

const char *actionName(Action action) {
    switch (action) {
    case Action::EnableDip:
        return "Enable DIP Switch";
    case Action::DisableDip:
        return "Disable DIP Switch";
    case Action::RestoreDefault:
        return "Restore Default Setting";
    case Action::StoreSetting:
        return "Store Setting";
    case Action::PrintSelfTest:
        return "Print Selftest";
    case Action::Close:
        return "Close";
    }
    return "";
}

Outcome runAction(Action action, const ActionInputs &in, device::PosdllFuncs &lib) {
    if (action == Action::Close)
        return Outcome{OutcomeKind::Quit, {}, MessageIcon::Information, {}, {}};

    const protocol::Frame frame = frameFor(action, in.options);
    const device::OpenResult port = device::OpenPort(lib, in.port);
    if (!port.opened())
        return message(MessageIcon::Error, kOpenFailed, port.reason);

    lib.POS_SetDeliveryWait(in.deliveryWaitMillis);
    const device::WriteResult w = device::writeTransaction(
        lib, port.handle, frame, std::string("posdip: ") + actionName(action));
    if (!w.ok)
        return message(MessageIcon::Error, kWriteFailed, w.reason);

    switch (action) {
    case Action::EnableDip:
    case Action::DisableDip:
        return message(MessageIcon::Information, kRestartFirst);
    case Action::RestoreDefault:
    case Action::StoreSetting:
        return message(MessageIcon::Information, kRestart);
    default:
        return Outcome{}; // the self-test shows nothing
    }
}

bool onlySpooled(const ActionInputs &in, const Outcome &outcome) {
    return outcome.succeeded() && in.deliveryWaitMillis == 0 &&
           device::portKindOf(in.port.portName) == device::PortKind::Driver;
}

} // namespace app
