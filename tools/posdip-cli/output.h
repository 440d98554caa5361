// What posdip-cli prints: one text line or one JSON object per result. Pure.
#pragma once

#include "app/message.h"
#include "app/result.h"
#include "batch/json.h"
#include "batch/ledger.h"
#include "protocol/frames.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace batch {
struct Target;
}

namespace cli {

using batch::Target;

using batch::jsonString;

// Builds one JSON object, keys in the order added.
class JsonObject {
  public:
    JsonObject &add(std::string_view key, std::string_view value);
    JsonObject &add(std::string_view key, const char *value) {
        return add(key, std::string_view(value));
    }
    JsonObject &add(std::string_view key, bool value);
    JsonObject &add(std::string_view key, long long value);
    JsonObject &addRaw(std::string_view key, std::string_view json); // already JSON
    // A text with no value is left out, never written as "".
    JsonObject &addText(std::string_view key, std::string_view value) {
        return value.empty() ? *this : add(key, value);
    }
    std::string str() const { return "{" + m_body + "}"; }

  private:
    void key(std::string_view k);
    std::string m_body;
};

// "ok", "ok: Please Restart Printer.", "unchanged" or "failed: Fail to open port,please check!
// (reason)"; "spooled" instead of "ok" for a success that only means a print queue took the job,
// "unchanged" for a printer left alone because it holds the setting.
// The message is the one derived from the result (app::messageFor, app::statusMessage).
std::string outcomeText(const app::Result &result, const app::Message &message);

// "ETHERNET 10.1.2.3: ok: Please Restart Printer.", "DRIVER Kitchen: spooled: ..."
std::string resultLine(const Target &target, const app::Result &result,
                       const app::Message &message);
// A send that keeps the ledger: "ETHERNET 10.1.2.3: unchanged",
// "... ok: Please Restart Printer. (a new printer, serial B2)"; in a dry run "... would send
// (the ledger has 0xFD)".
std::string ledgerResultLine(const Target &target, const app::Result &result,
                             const app::Message &message, const batch::Decision &ledger,
                             bool dryRun);

// The target as its text and its parts: target, port, then address and tcp_port (ETHERNET),
// device (COM, LPT: when known) or queue (DRIVER).
JsonObject &addTarget(JsonObject &o, const Target &target);
// The result object: schema, the target, action, ok, kind, stage, elapsed_ms, written, message,
// reason (those two when there is one); for a send (frame not empty) the frame, and the setting
// it stores; for a send that keeps the ledger the serial number, replaced and the previous
// setting (and dry_run); the status when one was read.
std::string resultJson(const Target &target, std::string_view action, const protocol::Frame &frame,
                       const app::Result &result, const app::Message &message,
                       const std::optional<batch::Decision> &ledger = std::nullopt,
                       bool dryRun = false);

// The line of a target a stopped batch did not reach: kind not-attempted, no stage.
std::string notAttemptedJson(const Target &target, std::string_view action);

// "COM3: ready", "COM3: not ready: cover open, paper end", "COM3: failed: REASON"
std::string statusLine(const Target &target, const app::Result &result);

// "maker X, model Y, firmware 1.02, serial ABC123", leaving out what the printer did not say.
std::string identityText(const device::Identity &id);
// "ETHERNET 10.1.2.3: maker X, ...", "...: no printer ID", or the status line of a printer that
// did not answer its status.
std::string identityLine(const Target &target, const app::Result &result);

// The version of the result objects' fields; raised when a field changes meaning.
inline constexpr int kJsonSchema = 2;
// A new JSON line: its schema first.
JsonObject jsonLine();
// The setting a frame stores, as the object every JSON line gives it; empty for other frames.
std::string settingJsonOf(const protocol::Frame &frame);

// "1F 1B 1F A1 10 11 12 13 14 15 FD  store setting 0xFD: cutter yes, ..."
std::string frameLine(const protocol::Frame &bytes);
std::string frameJson(const protocol::Frame &bytes);
// "0xFD  setting byte: cutter yes, ..."
std::string settingByteLine(std::uint8_t setting);
std::string settingByteJson(std::uint8_t setting);

} // namespace cli
