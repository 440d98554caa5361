// posdip-cli's command line and target files as a user may write them. Input: words separated
// by newlines; after a NUL byte, the text of a target file.
#include "batch/targets.h"
#include "cli_args.h"

#include "posdll/port_names.h"

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

namespace {

void check(bool ok) {
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string input(reinterpret_cast<const char *>(data), size);
    const auto nul = input.find('\0');
    const std::string words = input.substr(0, nul);
    std::vector<std::string> args;
    for (std::size_t pos = 0; pos <= words.size();) {
        const auto nl = std::min(words.find('\n', pos), words.size());
        args.push_back(words.substr(pos, nl - pos));
        pos = nl + 1;
    }
    const cli::ParseResult r = cli::parseArgs(args);
    if (const auto *e = std::get_if<cli::UsageError>(&r))
        check(!e->message.empty());
    if (const auto *c = std::get_if<cli::Command>(&r); c && cli::sendsFrame(c->sub)) {
        check(c->jobs >= 1 && c->jobs <= cli::kMaxJobs);
        check(c->dryRun || c->port || !c->targets.empty());
        check(protocol::knownBaud(c->baud) != 0);
        check(protocol::explainSettingByte(protocol::composeSettingByte(c->choices)) == c->choices);
    }

    if (nul == std::string::npos)
        return 0;
    std::istringstream file(input.substr(nul + 1));
    const batch::TargetFile f = batch::readTargetFile(file, "f", "19200");
    for (const std::string &e : f.errors)
        check(e.rfind("f:", 0) == 0);
    for (const batch::Target &t : f.targets) {
        check(!t.label.empty());
        if (t.network())
            check(posdll::parseNetworkAddress(t.port.ipText, nullptr).has_value());
    }
    return 0;
}
