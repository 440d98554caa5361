// The ledger of stored settings: for each target, and for each printer serial number, the last
// setting byte posdip-cli stored there and when, so that a store can leave alone a printer that
// holds the byte already. What is changed at the printer itself is not seen.
// The file is JSON, read strictly: a ledger that does not parse is an error, never overwritten.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace batch {

struct TargetEntry {
    std::optional<std::string> serial; // the printer's serial number, when it gave one
    std::uint8_t setting = 0;
    std::string storedAt; // UTC, "2026-12-08T10:15:00Z"
    bool operator==(const TargetEntry &) const = default;
};

struct SerialEntry {
    std::uint8_t setting = 0;
    std::string storedAt;
    std::string target; // where it was stored
    bool operator==(const SerialEntry &) const = default;
};

struct Ledger {
    std::map<std::string, TargetEntry> targets; // by target label
    std::map<std::string, SerialEntry> serials; // by serial number
    bool operator==(const Ledger &) const = default;
};

// The version of the file's layout; a file of another version is refused.
inline constexpr int kLedgerVersion = 1;

// The ledger the text holds; empty, with why, when it is not one.
std::optional<Ledger> parseLedger(std::string_view text, std::string *why);
// The file's text: parseLedger reads it back as it was.
std::string serialiseLedger(const Ledger &ledger);

// Whether to send `setting` to the printer at `target` that gave `serial`.
struct Decision {
    bool send = true;
    bool replaced = false; // the ledger knows another serial number at this target
    // What the ledger says the printer holds, when it says anything.
    std::optional<std::uint8_t> previous;
    bool operator==(const Decision &) const = default;
};

// Sends unless the target's entry has the same serial number (both none counts as the same)
// and the same byte: a printer swapped for another, or one that stopped giving its serial,
// is sent the setting.
Decision decide(const Ledger &ledger, const std::string &target,
                const std::optional<std::string> &serial, std::uint8_t setting);

// One store that reached a printer.
struct Stored {
    std::string target;
    std::optional<std::string> serial;
    std::uint8_t setting = 0;
    std::string storedAt;
};

void record(Ledger &ledger, const Stored &stored);

// "2026-12-08T10:15:00Z" for the time now.
std::string utcNow();

// Where the ledger lives unless --ledger says: /var/lib/posdip/ledger.json when that folder can
// be written, else $XDG_STATE_HOME/posdip/ledger.json, else ~/.local/state/posdip/ledger.json.
// Empty, with why, when none can be found.
std::string defaultLedgerPath(std::string *why);

// The ledger file: read once before the printers are reached, then each store added under a
// lock on PATH.lock and written whole through a temporary file in the same folder. Every
// failure names the file and the system's reason.
class LedgerFile {
  public:
    explicit LedgerFile(std::string path) : m_path(std::move(path)) {}

    const std::string &path() const { return m_path; }

    // Makes the folder, checks the lock can be taken and reads the file (a missing file is an
    // empty ledger); false, with why, when it cannot.
    bool load(std::string *why);
    const Ledger &ledger() const { return m_ledger; }

    // Under the lock: reads the file again (another posdip-cli may have added to it), adds
    // each store and writes it; false, with why, when that fails, and the file is as it was.
    bool add(const std::vector<Stored> &stores, std::string *why);

  private:
    std::string m_path;
    Ledger m_ledger;
};

} // namespace batch
