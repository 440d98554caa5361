#include "printer.h"

#include "protocol/frame_decode.h"
#include "protocol/setting_byte.h"

namespace emulator {

namespace {

// The one-byte IDs of the emulated model; both have the fixed bits of an ID reply.
constexpr std::uint8_t kModelId = 0x20;
constexpr std::uint8_t kVersionId = 0x01;

// "0x03, multi-byte characters, cutter" or "\"EMU-80\""
std::string describeIdReply(protocol::IdRequest request, const std::vector<std::uint8_t> &reply) {
    if (protocol::repliesWithText(request))
        return "\"" + std::string(reply.begin() + 1, reply.end() - 1) + "\"";
    return protocol::hexByte(reply[0]) + (request == protocol::IdRequest::TypeId
                                              ? ", " + protocol::describeTypeId(reply[0])
                                              : "");
}

} // namespace

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
            const std::uint8_t answer = protocol::encodeStatus(d.request, condition());
            r.answer = {answer};
            line += ": answered " + protocol::hexByte(answer) + ", " +
                    protocol::describeStatus(d.request, answer);
        }
        break;
    case protocol::FrameKind::IdRequest:
        r.answer = idReply(d.idRequest);
        line += r.answer.empty() ? ": not answered"
                                 : ": answered " + describeIdReply(d.idRequest, r.answer);
        break;
    case protocol::FrameKind::Unknown:
        break;
    }
    if (m_setup.hex && d.kind != protocol::FrameKind::Unknown) // that one shows its bytes
        line += " | " + protocol::toHex(frame);
    r.lines.insert(r.lines.begin(), line);
    return r;
}

std::vector<std::uint8_t> Printer::idReply(protocol::IdRequest request) const {
    if (!m_setup.identity)
        return {};
    const Identity &id = *m_setup.identity;
    auto text = [](const std::string &t) {
        return t.empty() ? std::vector<std::uint8_t>{} : protocol::encodeIdText(t);
    };
    switch (request) {
    case protocol::IdRequest::ModelId:
        return {kModelId};
    case protocol::IdRequest::TypeId: {
        // What the stored setting says the printer has.
        const protocol::SettingChoices c = protocol::explainSettingByte(m_setup.state.setting);
        return {static_cast<std::uint8_t>((c.twoByteCode ? protocol::kTypeMultiByte : 0) |
                                          (c.cutter ? protocol::kTypeCutter : 0))};
    }
    case protocol::IdRequest::VersionId:
        return {kVersionId};
    case protocol::IdRequest::Firmware:
        return text(id.firmware);
    case protocol::IdRequest::Maker:
        return text(id.maker);
    case protocol::IdRequest::ModelName:
        return text(id.model);
    case protocol::IdRequest::Serial:
        return text(id.serial);
    case protocol::IdRequest::CharacterSet:
        return text(id.characterSet);
    }
    return {};
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
