#include "printer.h"

#include "protocol/frame_decode.h"
#include "protocol/setting_byte.h"

namespace emulator {

Reply Printer::take(const protocol::Frame &frame) {
    const protocol::DecodedFrame d = protocol::decodeFrame(frame);
    PrinterState &kept = m_setup.state;
    Reply r;
    std::string line = d.description;
    switch (d.kind) {
    case protocol::FrameKind::Enable:
    case protocol::FrameKind::Disable:
        kept.dipSwitchesEnabled = d.kind == protocol::FrameKind::Enable;
        r.stateChanged = true;
        break;
    case protocol::FrameKind::WriteSetting:
        kept.setting = d.setting;
        r.stateChanged = true;
        break;
    case protocol::FrameKind::SelfTest: {
        const std::uint8_t printer =
            protocol::encodeStatus(protocol::StatusRequest::Printer, condition());
        if (protocol::decodeStatus(protocol::StatusRequest::Printer, printer).ready)
            r.lines = selfTestPage();
        else // an off-line printer prints nothing
            line += ": not printed, " +
                    protocol::describeStatus(protocol::StatusRequest::Printer, printer);
        break;
    }
    case protocol::FrameKind::StatusRequest:
        if (m_setup.silent) {
            line += ": not answered";
        } else {
            r.answer = protocol::encodeStatus(d.request, condition());
            line += ": answered " + protocol::hexByte(*r.answer) + ", " +
                    protocol::describeStatus(d.request, *r.answer);
        }
        break;
    case protocol::FrameKind::Unknown:
        break;
    }
    if (m_setup.hex && d.kind != protocol::FrameKind::Unknown) // that one shows its bytes
        line += " | " + protocol::toHex(frame);
    r.lines.insert(r.lines.begin(), line);
    return r;
}

protocol::PrinterCondition Printer::condition() const {
    protocol::PrinterCondition c = m_setup.condition;
    c.offline = c.offline || m_unsaved;
    return c;
}

std::vector<std::string> Printer::selfTestPage() const {
    const PrinterState &kept = m_setup.state;
    std::vector<std::string> page = {"SELF-TEST", "setting " + protocol::hexByte(kept.setting)};
    // One line for each part of the setting's explanation.
    const std::string explained = protocol::describeSettingByte(kept.setting);
    for (std::size_t at = 0; at != std::string::npos;) {
        const std::size_t comma = explained.find(", ", at);
        page.push_back("  " + explained.substr(at, comma - at));
        at = comma == std::string::npos ? comma : comma + 2;
    }
    page.push_back(std::string("DIP switches ") +
                   (kept.dipSwitchesEnabled ? "enabled" : "disabled"));
    for (std::string &l : page)
        l.insert(0, kPageMargin);
    return page;
}

} // namespace emulator
