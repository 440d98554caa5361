#include "options.h"

#include "posdll/quoted.h"

#include <charconv>

namespace emulator {

const char *const kUsage =
    "usage: posdip-emulator [--listen HOST:PORT] [--pty PATH] [--hex] [--count N]\n"
    "A stand-in receipt printer: prints one line for each command frame it receives.\n"
    "  --listen HOST:PORT  take TCP connections there, one after another\n"
    "                      (default 127.0.0.1:9100; port 0 picks a free port)\n"
    "  --pty PATH          make a pseudo-terminal with a link to it at PATH; point a serial\n"
    "                      port at it with POSDLL_PORT_COMn=PATH\n"
    "  --hex               add each frame's bytes in hex\n"
    "  --count N           exit after N frames\n"
    "  --help              show this text\n"
    "Frames go to standard output, one line each; what the emulator does goes to standard "
    "error.\n";

std::optional<Options> parseOptions(const std::vector<std::string> &args, std::string *why) {
    auto fail = [why](std::string reason) -> std::optional<Options> {
        *why = std::move(reason);
        return std::nullopt;
    };
    Options o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> value;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        const bool takesValue = name == "--listen" || name == "--pty" || name == "--count";
        if (takesValue && !value) {
            if (i + 1 == args.size())
                return fail(name + " needs a value");
            value = args[++i];
        } else if (!takesValue && value) {
            return fail(name + " takes no value");
        }
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
        } else if (name == "--hex") {
            o.hex = true;
        } else if (name == "--help" || name == "-h") {
            o.help = true;
        } else {
            return fail("unknown option " + posdll::quoted(name) + " (see --help)");
        }
    }
    if (!o.listen && !o.ptyLink)
        o.listen = posdll::parseNetworkAddress("127.0.0.1:9100", nullptr);
    return o;
}

} // namespace emulator
