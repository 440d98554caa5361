// Any bytes a printer port may receive, and any hex text the command line may be given.
#include "protocol/frame_decode.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const auto d = protocol::decodeFrame(data, size);
    if (d.description.empty())
        std::abort();

    // Fed in two pieces, the scanner gives back exactly the bytes it was given.
    protocol::FrameScanner scanner;
    const std::size_t cut = size ? data[0] % (size + 1) : 0;
    std::size_t total = 0;
    for (const auto &f : scanner.feed(data, cut))
        total += f.size();
    for (const auto &f : scanner.feed(data + cut, size - cut))
        total += f.size();
    total += scanner.finish().size();
    if (total != size)
        std::abort();

    if (auto bytes =
            protocol::parseHex(std::string_view(reinterpret_cast<const char *>(data), size)))
        if (bytes->empty())
            std::abort();
    return 0;
}
