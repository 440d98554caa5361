#include "batch/file_text.h"

#include "posdll/fd.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace batch {

std::optional<std::string> readWholeFile(const std::string &path, std::size_t maxBytes) {
    posdll::Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd)
        return std::nullopt;
    std::string text;
    char buf[8192];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            return text;
        text.append(buf, static_cast<std::size_t>(n));
        if (text.size() > maxBytes) {
            errno = EFBIG;
            return std::nullopt;
        }
    }
}

} // namespace batch
