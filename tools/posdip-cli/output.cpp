#include "output.h"

#include "batch/targets.h"

#include "device/port_kind.h"
#include "posdll/port_names.h"
#include "protocol/frame_decode.h"
#include "protocol/setting_byte.h"
#include "protocol/status_summary.h"

#include <cstdio>

namespace cli {

namespace {

// Length of the valid UTF-8 sequence at s[i], 0 when there is none.
std::size_t utf8Length(std::string_view s, std::size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t len = 0;
    unsigned min = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
        min = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        min = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        min = 0x10000;
    } else {
        return 0;
    }
    if (i + len > s.size())
        return 0;
    unsigned cp = c & (0x3F >> (len - 1));
    for (std::size_t k = 1; k < len; ++k) {
        const auto cc = static_cast<unsigned char>(s[i + k]);
        if ((cc & 0xC0) != 0x80)
            return 0;
        cp = cp << 6 | (cc & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

} // namespace

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        switch (c) {
        case '"':
            out += "\\\"";
            continue;
        case '\\':
            out += "\\\\";
            continue;
        case '\n':
            out += "\\n";
            continue;
        case '\r':
            out += "\\r";
            continue;
        case '\t':
            out += "\\t";
            continue;
        default:
            break;
        }
        if (c < 0x20 || c == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (const std::size_t len = utf8Length(text, i)) {
            out.append(text.substr(i, len));
            i += len - 1;
        } else {
            out += "\\ufffd";
        }
    }
    return out + "\"";
}

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
    const std::string word = result.kind == device::FailKind::Spooled ? "spooled" : "ok";
    return message.text.empty() ? word : word + ": " + message.text;
}

std::string resultLine(const Target &target, const app::Result &result,
                       const app::Message &message) {
    return target.label + ": " + outcomeText(result, message);
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
                       const app::Result &result, const app::Message &message) {
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
    if (!frame.empty()) {
        o.add("frame", protocol::toHex(frame));
        if (const std::string setting = settingJsonOf(frame); !setting.empty())
            o.addRaw("setting", setting);
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
