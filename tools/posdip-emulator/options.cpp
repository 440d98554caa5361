#include "options.h"

#include "posdll/quoted.h"

#include <algorithm>
#include <charconv>
#include <set>

namespace emulator {

namespace {

template <typename T> struct Word {
    const char *word;
    T value;
};

constexpr Word<protocol::PaperLevel> kPaperWords[] = {{"ok", protocol::PaperLevel::Ok},
                                                      {"near-end", protocol::PaperLevel::NearEnd},
                                                      {"out", protocol::PaperLevel::Out}};
constexpr Word<bool> kCoverWords[] = {{"open", true}, {"closed", false}};
constexpr Word<Fault> kFaultWords[] = {{"close", Fault::Close},
                                       {"reset", Fault::Reset},
                                       {"stall", Fault::Stall},
                                       {"keep-open", Fault::KeepOpen},
                                       {"silent", Fault::Silent}};

// "a|b|c"
template <typename T, std::size_t N> std::string choices(const Word<T> (&words)[N]) {
    std::string text;
    for (const Word<T> &w : words)
        text += (text.empty() ? "" : "|") + std::string(w.word);
    return text;
}

// The value for the word, or nothing with "--name 'x': one of a|b|c" in *why.
template <typename T, std::size_t N>
std::optional<T> pick(const std::string &name, const std::string &word, const Word<T> (&words)[N],
                      std::string *why) {
    for (const Word<T> &w : words)
        if (word == w.word)
            return w.value;
    *why = name + " " + posdll::quoted(word) + ": one of " + choices(words);
    return std::nullopt;
}

// The fields of --id, in the order help names them.
struct IdField {
    const char *key;
    std::string Identity::*field;
};
constexpr IdField kIdFields[] = {{"maker", &Identity::maker},
                                 {"model", &Identity::model},
                                 {"firmware", &Identity::firmware},
                                 {"serial", &Identity::serial}};

// "maker=A,serial=B": the fields named replace the defaults; an empty value leaves that request
// unanswered. Empty with the reason in *why.
std::optional<Identity> parseIdentity(const std::string &text, std::string *why) {
    Identity id;
    std::set<std::string> seen;
    for (std::size_t at = 0; at <= text.size();) {
        const std::size_t comma = std::min(text.find(',', at), text.size());
        const std::string item = text.substr(at, comma - at);
        at = comma + 1;
        const std::size_t eq = item.find('=');
        const std::string key = item.substr(0, eq);
        const IdField *f = std::find_if(std::begin(kIdFields), std::end(kIdFields),
                                        [&](const IdField &k) { return key == k.key; });
        std::string problem;
        if (eq == std::string::npos || f == std::end(kIdFields))
            problem = posdll::quoted(item) + " is not one of maker=, model=, firmware=, serial=";
        else if (!seen.insert(key).second)
            problem = key + " is given twice";
        else if (const std::string value = item.substr(eq + 1);
                 !(problem = protocol::idTextProblem(value)).empty())
            problem = key + " " + posdll::quoted(value) + ": " + problem;
        else
            id.*(f->field) = value;
        if (!problem.empty()) {
            *why = "--id " + posdll::quoted(text) + ": " + problem;
            return std::nullopt;
        }
    }
    return id;
}

} // namespace

// Where the emulator listens when told nowhere.
constexpr const char *kDefaultHost = "127.0.0.1";

std::string usage() {
    return "usage: posdip-emulator [--listen HOST:PORT] [--pty PATH] [--hex] [--count N]\n"
           "                       [--paper " +
           choices(kPaperWords) + "] [--cover " + choices(kCoverWords) +
           "] [--offline]\n"
           "                       [--state FILE] [--fault " +
           choices(kFaultWords) +
           "]\n"
           "                       [--id maker=NAME,model=NAME,firmware=VER,serial=NUM | --no-id] "
           "[--asb]\n"
           "A stand-in receipt printer: prints one line for each command frame it receives, "
           "answers\n"
           "status requests (DLE EOT 1 to 4) and printer ID requests (GS I n), and prints a "
           "self-test page.\n"
           "  --listen HOST:PORT  take TCP connections there, one after another\n"
           "                      (default " +
           posdll::formatAddress(kDefaultHost, posdll::kPrinterPort) +
           "; port 0 picks a free port)\n"
           "  --pty PATH          make a pseudo-terminal with a link to it at PATH; point a "
           "serial\n"
           "                      port at it with POSDLL_PORT_COMn=PATH\n"
           "  --hex               add each frame's bytes in hex\n"
           "  --count N           exit after N frames (status requests count as frames)\n"
           "  --paper STATE       the roll paper: ok (default), near-end or out\n"
           "  --cover STATE       the cover: closed (default) or open\n"
           "  --offline           off-line (an open cover or no paper makes it off-line as well)\n"
           "  --state FILE        keep the DIP switch state and the stored setting in FILE across\n"
           "                      restarts (a missing FILE starts from the defaults)\n"
           "  --fault MODE        misbehave: close (accept, then close at once), reset (reset "
           "after\n"
           "                      the first byte), stall (accept, never read), keep-open (keep "
           "the\n"
           "                      connection open after the sender ends), silent (never answer "
           "status)\n"
           "  --id FIELDS         what GS I 65 to 68 answer, e.g. serial=A123 (default maker " +
           Identity{}.maker + ",\n                      model " + Identity{}.model + ", firmware " +
           Identity{}.firmware + ", serial " + Identity{}.serial +
           "); an empty\n"
           "                      value leaves that request unanswered\n"
           "  --no-id             answer no printer ID request\n"
           "  --asb               send automatic status (4 bytes) on connect and whenever the "
           "condition\n"
           "                      changes\n"
           "  --help              show this text\n"
           "  --version           print the version\n"
           "Each option may be given once.\n"
           "Frames go to standard output, one line each; what the emulator does goes to standard "
           "error.\n";
}

std::optional<Options> parseOptions(const std::vector<std::string> &args, std::string *why) {
    auto fail = [why](std::string reason) -> std::optional<Options> {
        *why = std::move(reason);
        return std::nullopt;
    };
    Options o;
    std::set<std::string> seen;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> value;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        const bool takesValue = name == "--listen" || name == "--pty" || name == "--count" ||
                                name == "--paper" || name == "--cover" || name == "--state" ||
                                name == "--fault" || name == "--id";
        if (takesValue && !value) {
            if (i + 1 == args.size())
                return fail(name + " needs a value");
            value = args[++i];
        } else if (!takesValue && value) {
            return fail(name + " takes no value");
        }
        // As posdip-cli does: a second value would silently win over the first.
        if (name != "--help" && name != "-h" && !seen.insert(name).second)
            return fail(name + " is given twice");
        if (name == "--listen") {
            std::string reason;
            o.listen = posdll::parseNetworkAddress(*value, &reason, 0);
            if (!o.listen)
                return fail("--listen " + posdll::quoted(*value) + ": " + reason);
        } else if (name == "--pty") {
            if (value->empty())
                return fail("--pty needs a path");
            o.ptyLink = *value;
        } else if (name == "--count") {
            long n = 0;
            const char *end = value->data() + value->size();
            const auto [p, ec] = std::from_chars(value->data(), end, n);
            if (ec != std::errc() || p != end || n < 1)
                return fail("--count " + posdll::quoted(*value) + ": not a number of frames");
            o.count = n;
        } else if (name == "--paper") {
            const auto paper = pick(name, *value, kPaperWords, why);
            if (!paper)
                return std::nullopt;
            o.condition.paper = *paper;
        } else if (name == "--cover") {
            const auto open = pick(name, *value, kCoverWords, why);
            if (!open)
                return std::nullopt;
            o.condition.coverOpen = *open;
        } else if (name == "--fault") {
            const auto fault = pick(name, *value, kFaultWords, why);
            if (!fault)
                return std::nullopt;
            o.fault = *fault;
        } else if (name == "--state") {
            if (value->empty())
                return fail("--state needs a file");
            o.stateFile = *value;
        } else if (name == "--id") {
            o.identity = parseIdentity(*value, why);
            if (!o.identity)
                return std::nullopt;
        } else if (name == "--no-id") {
            o.identity.reset();
        } else if (name == "--asb") {
            o.asb = true;
        } else if (name == "--offline") {
            o.condition.offline = true;
        } else if (name == "--hex") {
            o.hex = true;
        } else if (name == "--help" || name == "-h") {
            o.help = true;
        } else if (name == "--version") {
            o.version = true;
        } else {
            return fail("unknown option " + posdll::quoted(name) + " (see --help)");
        }
    }
    if (seen.count("--id") && seen.count("--no-id"))
        return fail("--id and --no-id exclude each other");
    if (!o.listen && !o.ptyLink)
        o.listen = posdll::NetworkAddress{kDefaultHost, posdll::kPrinterPort, true};
    return o;
}

} // namespace emulator
