#include "output.h"

#include "batch/targets.h"

#include "device/port_kind.h"
#include "posdll/port_names.h"
#include "protocol/frame_decode.h"
#include "protocol/setting_byte.h"
#include "protocol/status_summary.h"

namespace cli {

void JsonObject::key(std::string_view k) {
    if (!m_body.empty())
        m_body += ',';
    m_body += jsonString(k);
    m_body += ':';
}

JsonObject &JsonObject::add(std::string_view k, std::string_view value) {
    return addRaw(k, jsonString(value));
}

JsonObject &JsonObject::add(std::string_view k, bool value) {
    return addRaw(k, value ? "true" : "false");
}

JsonObject &JsonObject::add(std::string_view k, long long value) {
    return addRaw(k, std::to_string(value));
}

JsonObject &JsonObject::addRaw(std::string_view k, std::string_view json) {
    key(k);
    m_body += json;
    return *this;
}

std::string outcomeText(const app::Result &result, const app::Message &message) {
    if (!result.succeeded())
        return "failed: " + message.text +
               (message.detail.empty() ? "" : " (" + message.detail + ")");
    const std::string word = result.kind == device::FailKind::Ok
                                 ? "ok"
                                 : device::failKindName(result.kind); // spooled, unchanged
    return message.text.empty() ? word : word + ": " + message.text;
}

std::string resultLine(const Target &target, const app::Result &result,
                       const app::Message &message) {
    return target.label + ": " + outcomeText(result, message);
}

std::string ledgerResultLine(const Target &target, const app::Result &result,
                             const app::Message &message, const batch::Decision &ledger,
                             bool dryRun) {
    const bool rehearsed = dryRun && result.kind == device::FailKind::Ok;
    std::string line =
        target.label + ": " + (rehearsed ? "would send" : outcomeText(result, message));
    if (ledger.replaced)
        line += " (a new printer, serial " + result.serial.value_or("") + ")";
    else if (rehearsed && ledger.previous)
        line += " (the ledger has " + protocol::hexByte(*ledger.previous) + ")";
    return line;
}

namespace {

std::string settingJson(std::uint8_t byte) {
    const protocol::SettingChoices c = protocol::explainSettingByte(byte);
    return JsonObject()
        .add("byte", protocol::hexByte(byte))
        .add("cutter", c.cutter)
        .add("beeper", c.beeper)
        .add("density", protocol::densityName(c.density))
        .add("two_byte", c.twoByteCode)
        .add("chars", static_cast<long long>(protocol::charCount(c.charsPerLine)))
        .add("paper_taken", c.paperTakenDetect)
        .add("baud", static_cast<long long>(protocol::baudRate(c.baud)))
        .add("meaning", protocol::describeSettingByte(byte))
        .str();
}

std::string statusJson(const device::StatusReading &r) {
    std::string conditions = "[";
    for (protocol::StatusFlag f : r.summary.conditions)
        conditions += (conditions.size() > 1 ? "," : "") + jsonString(protocol::statusFlagText(f));
    return JsonObject()
        .add("ready", r.summary.ready)
        .add("bytes", protocol::toHex(r.bytes.data(), r.bytes.size()))
        .addRaw("conditions", conditions + "]")
        .add("offline", r.summary.offline)
        .add("cover_open", r.summary.coverOpen)
        .add("paper", protocol::paperLevelName(r.summary.paper))
        .add("error", r.summary.error)
        .str();
}

// The printer's own words for what identify shows, in the order shown.
struct IdField {
    const char *name;
    protocol::IdRequest request;
};
constexpr IdField kIdFields[] = {{"maker", protocol::IdRequest::Maker},
                                 {"model", protocol::IdRequest::ModelName},
                                 {"firmware", protocol::IdRequest::Firmware},
                                 {"serial", protocol::IdRequest::Serial}};

std::string identityJson(const device::Identity &id) {
    JsonObject o;
    for (const IdField &f : kIdFields) {
        const auto text = id.text(f.request);
        text ? o.add(f.name, *text) : o.addRaw(f.name, "null");
    }
    const auto type = id.byte(protocol::IdRequest::TypeId);
    for (const auto &[name, bit] : {std::pair{"multibyte", protocol::kTypeMultiByte},
                                    std::pair{"cutter", protocol::kTypeCutter}})
        type ? o.add(name, (*type & bit) != 0) : o.addRaw(name, "null");
    JsonObject raw;
    for (const device::IdAnswer &a : id.answers)
        raw.add(std::to_string(static_cast<int>(a.request)),
                protocol::repliesWithText(a.request) ? a.text : protocol::hexByte(a.byte));
    return o.addRaw("raw", raw.str()).str();
}

} // namespace

JsonObject jsonLine() {
    return std::move(JsonObject().add("schema", static_cast<long long>(kJsonSchema)));
}

std::string settingJsonOf(const protocol::Frame &frame) {
    const protocol::DecodedFrame d = protocol::decodeFrame(frame);
    return d.kind == protocol::FrameKind::WriteSetting ? settingJson(d.setting) : std::string();
}

JsonObject &addTarget(JsonObject &o, const Target &target) {
    o.add("target", target.label).add("port", target.port.portName);
    switch (device::portKindOf(target.port.portName)) {
    case device::PortKind::Ethernet: {
        std::string why;
        if (const auto a = posdll::parseNetworkAddress(target.port.ipText, &why))
            o.add("address", a->host).add("tcp_port", static_cast<long long>(a->port));
        break;
    }
    case device::PortKind::Serial:
    case device::PortKind::Parallel:
        o.addText("device", target.device);
        break;
    case device::PortKind::Driver:
        o.add("queue", target.port.printerName);
        break;
    case device::PortKind::Unknown:
        break;
    }
    return o;
}

std::string identityText(const device::Identity &id) {
    std::string text;
    for (const IdField &f : kIdFields)
        if (const auto value = id.text(f.request))
            text += (text.empty() ? "" : ", ") + std::string(f.name) + " " + *value;
    return text;
}

std::string identityLine(const Target &target, const app::Result &result) {
    if (!result.status || !result.identity)
        return statusLine(target, result);
    const std::string text = identityText(*result.identity);
    return target.label + ": " + (text.empty() ? "no printer ID" : text);
}

std::string resultJson(const Target &target, std::string_view action, const protocol::Frame &frame,
                       const app::Result &result, const app::Message &message,
                       const std::optional<batch::Decision> &ledger, bool dryRun) {
    JsonObject o = jsonLine();
    addTarget(o, target)
        .add("action", action)
        .add("ok", result.succeeded())
        .add("kind", device::failKindName(result.kind))
        .add("stage", device::stageName(result.stage))
        .add("elapsed_ms", static_cast<long long>(result.elapsed.count()))
        .add("written", static_cast<long long>(result.written))
        .addText("message", message.text)
        .addText("reason", message.detail);
    if (result.error != 0) // absent, as an empty text is, when no system error was behind it
        o.add("errno", static_cast<long long>(result.error));
    if (!frame.empty()) {
        o.add("frame", protocol::toHex(frame));
        if (const std::string setting = settingJsonOf(frame); !setting.empty())
            o.addRaw("setting", setting);
    }
    if (ledger) {
        o.addRaw("serial", result.serial ? jsonString(*result.serial) : "null")
            .add("replaced", ledger->replaced)
            .addRaw("previous", ledger->previous ? settingJson(*ledger->previous) : "null");
        if (dryRun)
            o.add("dry_run", true);
    }
    if (result.status)
        o.addRaw("status", statusJson(*result.status));
    if (result.identity)
        o.addRaw("identity", identityJson(*result.identity));
    if (result.queue)
        o.addRaw("status", JsonObject()
                               .add("queue", result.queue->queue)
                               .add("accepting", result.queue->accepting)
                               .add("stopped", result.queue->stopped)
                               .addText("reason", result.queue->reason)
                               .add("source", "queue")
                               .str());
    return o.str();
}

std::string notAttemptedJson(const Target &target, std::string_view action) {
    JsonObject o = jsonLine();
    return addTarget(o, target)
        .add("action", action)
        .add("ok", false)
        .add("kind", "not-attempted")
        .add("written", 0LL)
        .str();
}

std::string statusLine(const Target &target, const app::Result &result) {
    if (result.status)
        return target.label + ": " + protocol::describeSummary(result.status->summary);
    if (result.queue) // said as the queue's, so nobody takes it for the printer's
        return target.label + ": " +
               (result.succeeded() ? "queue accepts jobs" : "queue not ready: " + result.reason) +
               " (the print queue's state, not the printer's)";
    return target.label + ": failed: " + result.reason;
}

std::string frameLine(const protocol::Frame &bytes) {
    return protocol::toHex(bytes) + "  " + protocol::decodeFrame(bytes).description;
}

std::string frameJson(const protocol::Frame &bytes) {
    const protocol::DecodedFrame d = protocol::decodeFrame(bytes);
    JsonObject o = jsonLine();
    o.add("frame", protocol::toHex(bytes))
        .add("known", d.kind != protocol::FrameKind::Unknown)
        .add("meaning", d.description);
    if (const std::string setting = settingJsonOf(bytes); !setting.empty())
        o.addRaw("setting", setting);
    return o.str();
}

std::string settingByteLine(std::uint8_t setting) {
    return protocol::hexByte(setting) + "  setting byte: " + protocol::describeSettingByte(setting);
}

std::string settingByteJson(std::uint8_t setting) {
    return jsonLine()
        .addRaw("setting", settingJson(setting))
        .add("known", true)
        .add("meaning", protocol::describeSettingByte(setting))
        .str();
}

} // namespace cli
