#include "batch/ledger.h"

#include "batch/file_text.h"
#include "batch/json.h"
#include "batch/metrics.h"

#include "posdll/fd.h"
#include "posdll/quoted.h"
#include "protocol/frame_decode.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace batch {

namespace {

using Members = std::vector<JsonMember>;

// Reading the file's layout: each step says where it went wrong.
class Shape {
  public:
    explicit Shape(std::string *why) : m_why(why) {}

    bool bad(const std::string &where, const std::string &what) {
        if (m_why)
            *m_why = where + ": " + what;
        return false;
    }

    // The object's members, when it has exactly the keys given.
    const Members *object(const JsonValue &v, const std::string &where,
                          std::initializer_list<const char *> keys) {
        if (v.type != JsonValue::Type::Object) {
            bad(where, "not an object");
            return nullptr;
        }
        if (keys.size() == 0)
            return &v.members;
        for (const JsonMember &m : v.members)
            if (std::find_if(keys.begin(), keys.end(), [&](const char *k) { return m.key == k; }) ==
                keys.end()) {
                bad(where, "unknown key " + jsonString(m.key));
                return nullptr;
            }
        for (const char *k : keys)
            if (!v.member(k)) {
                bad(where, "no key \"" + std::string(k) + "\"");
                return nullptr;
            }
        return &v.members;
    }

    bool text(const JsonValue *v, const std::string &where, std::string &out) {
        if (v->type != JsonValue::Type::String || v->string.empty())
            return bad(where, "not a non-empty string");
        out = v->string;
        return true;
    }

    bool setting(const JsonValue *v, const std::string &where, std::uint8_t &out) {
        // Exactly as written: "0x" and two hex digits.
        const bool written = v->type == JsonValue::Type::String && v->string.size() == 4 &&
                             v->string.starts_with("0x");
        const auto bytes = written ? protocol::parseHex(v->string) : std::nullopt;
        if (!bytes || bytes->size() != 1)
            return bad(where, "not a setting byte such as \"0xFD\"");
        out = bytes->front();
        return true;
    }

  private:
    std::string *m_why;
};

bool readTargets(const JsonValue &v, Shape &shape, Ledger &out) {
    const Members *targets = shape.object(v, "targets", {});
    if (!targets)
        return false;
    for (const auto &[label, value] : *targets) {
        const std::string where = "targets." + jsonString(label);
        if (!shape.object(value, where, {"serial", "setting", "stored_at"}))
            return false;
        TargetEntry e;
        const JsonValue *serial = value.member("serial");
        if (serial->type != JsonValue::Type::Null) {
            e.serial.emplace();
            if (!shape.text(serial, where + ".serial", *e.serial))
                return false;
        }
        if (!shape.setting(value.member("setting"), where + ".setting", e.setting) ||
            !shape.text(value.member("stored_at"), where + ".stored_at", e.storedAt))
            return false;
        out.targets.emplace(label, std::move(e));
    }
    return true;
}

bool readSerials(const JsonValue &v, Shape &shape, Ledger &out) {
    const Members *serials = shape.object(v, "serials", {});
    if (!serials)
        return false;
    for (const auto &[serial, value] : *serials) {
        const std::string where = "serials." + jsonString(serial);
        if (!shape.object(value, where, {"setting", "stored_at", "target"}))
            return false;
        SerialEntry e;
        if (!shape.setting(value.member("setting"), where + ".setting", e.setting) ||
            !shape.text(value.member("stored_at"), where + ".stored_at", e.storedAt) ||
            !shape.text(value.member("target"), where + ".target", e.target))
            return false;
        out.serials.emplace(serial, std::move(e));
    }
    return true;
}

} // namespace

std::optional<Ledger> parseLedger(std::string_view text, std::string *why) {
    const std::optional<JsonValue> doc = parseJson(text, why);
    if (!doc)
        return std::nullopt;
    Shape shape(why);
    if (!shape.object(*doc, "the ledger", {"version", "targets", "serials"}))
        return std::nullopt;
    const JsonValue *version = doc->member("version");
    if (version->type != JsonValue::Type::Number || version->number != kLedgerVersion) {
        shape.bad("version", "not " + std::to_string(kLedgerVersion));
        return std::nullopt;
    }
    Ledger ledger;
    if (!readTargets(*doc->member("targets"), shape, ledger) ||
        !readSerials(*doc->member("serials"), shape, ledger))
        return std::nullopt;
    return ledger;
}

std::string serialiseLedger(const Ledger &ledger) {
    std::string out = "{\"version\": " + std::to_string(kLedgerVersion) + ",\n \"targets\": {";
    const char *sep = "\n  ";
    for (const auto &[label, e] : ledger.targets) {
        out += sep + jsonString(label) +
               ": {\"serial\": " + (e.serial ? jsonString(*e.serial) : "null") +
               ", \"setting\": \"" + protocol::hexByte(e.setting) +
               "\", \"stored_at\": " + jsonString(e.storedAt) + "}";
        sep = ",\n  ";
    }
    out += "},\n \"serials\": {";
    sep = "\n  ";
    for (const auto &[serial, e] : ledger.serials) {
        out += sep + jsonString(serial) + ": {\"setting\": \"" + protocol::hexByte(e.setting) +
               "\", \"stored_at\": " + jsonString(e.storedAt) +
               ", \"target\": " + jsonString(e.target) + "}";
        sep = ",\n  ";
    }
    return out + "}}\n";
}

Decision decide(const Ledger &ledger, const std::string &target,
                const std::optional<std::string> &serial, std::uint8_t setting) {
    Decision d;
    const auto entry = ledger.targets.find(target);
    if (entry == ledger.targets.end())
        return d;
    const TargetEntry &e = entry->second;
    d.replaced = serial && e.serial && *serial != *e.serial;
    if (!d.replaced) {
        d.previous = e.setting;
    } else if (const auto known = ledger.serials.find(*serial); known != ledger.serials.end()) {
        d.previous = known->second.setting; // stored to this printer elsewhere
    }
    d.send = e.serial != serial || e.setting != setting;
    return d;
}

void record(Ledger &ledger, const Stored &stored) {
    ledger.targets[stored.target] = {stored.serial, stored.setting, stored.storedAt};
    if (stored.serial)
        ledger.serials[*stored.serial] = {stored.setting, stored.storedAt, stored.target};
}

std::string utcNow() {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm utc{};
    ::gmtime_r(&now, &utc);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return buf;
}

std::string defaultLedgerPath(std::string *why) {
    constexpr const char *kSystemFolder = "/var/lib/posdip";
    if (::access(kSystemFolder, W_OK) == 0)
        return std::string(kSystemFolder) + "/ledger.json";
    const char *state = std::getenv("XDG_STATE_HOME");
    if (state && state[0] == '/') // a relative one is to be ignored
        return std::string(state) + "/posdip/ledger.json";
    const char *home = std::getenv("HOME");
    if (home && home[0] == '/')
        return std::string(home) + "/.local/state/posdip/ledger.json";
    *why = "no ledger: " + std::string(kSystemFolder) +
           " cannot be written and neither XDG_STATE_HOME nor HOME is set; give --ledger FILE";
    return {};
}

namespace {

constexpr std::size_t kMaxLedgerBytes = 64u << 20;
// How long a store waits for another posdip-cli to finish writing the ledger.
constexpr auto kLockWait = std::chrono::seconds(10);

std::string named(const std::string &path) {
    return "the ledger " + posdll::quoted(path, 4096);
}

// The ledger in the file, an empty one when there is none.
std::optional<Ledger> readLedger(const std::string &path, std::string *why) {
    const std::optional<std::string> text = readWholeFile(path, kMaxLedgerBytes);
    if (!text && errno == ENOENT)
        return Ledger{};
    if (!text) {
        *why = "cannot read " + named(path) + ": " + posdll::errnoText(errno);
        return std::nullopt;
    }
    std::string problem;
    std::optional<Ledger> ledger = parseLedger(*text, &problem);
    if (!ledger)
        *why = named(path) + " is damaged (" + problem + "); mend or remove it";
    return ledger;
}

// PATH.lock, opened (and made when missing); an empty Fd with why when it cannot be.
posdll::Fd openLock(const std::string &path, std::string *why) {
    const std::string lock = path + ".lock";
    posdll::Fd fd(::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (!fd)
        *why = "cannot use " + named(path) + ": " + posdll::quoted(lock, 4096) + ": " +
               posdll::errnoText(errno);
    return fd;
}

} // namespace

bool LedgerFile::load(std::string *why) {
    const std::filesystem::path folder = std::filesystem::path(m_path).parent_path();
    std::error_code ec;
    if (!folder.empty())
        std::filesystem::create_directories(folder, ec);
    if (ec) {
        *why = "cannot make the folder of " + named(m_path) + ": " + ec.message();
        return false;
    }
    if (!openLock(m_path, why))
        return false;
    std::optional<Ledger> ledger = readLedger(m_path, why);
    if (!ledger)
        return false;
    m_ledger = std::move(*ledger);
    return true;
}

bool LedgerFile::add(const std::vector<Stored> &stores, std::string *why) {
    posdll::Fd lock = openLock(m_path, why);
    if (!lock)
        return false;
    const auto giveUp = std::chrono::steady_clock::now() + kLockWait;
    while (::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        if ((err != EWOULDBLOCK && err != EINTR) || std::chrono::steady_clock::now() > giveUp) {
            *why =
                "cannot lock " + named(m_path) + ": " +
                (err == EWOULDBLOCK ? "another program held it for 10 s" : posdll::errnoText(err));
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::optional<Ledger> ledger = readLedger(m_path, why);
    if (!ledger)
        return false;
    for (const Stored &s : stores)
        record(*ledger, s);
    if (const std::string failed = replaceFile(m_path, serialiseLedger(*ledger)); !failed.empty()) {
        *why = "cannot write " + named(m_path) + ": " + failed;
        return false;
    }
    m_ledger = std::move(*ledger);
    return true; // closing the descriptor lets the lock go
}

} // namespace batch
