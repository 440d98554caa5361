#include "state_file.h"

#include "posdll/fd.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace emulator {

// Far more than a state file ever holds; a bigger file is not one.
constexpr std::size_t kMaxStateBytes = 64 * 1024;

std::optional<PrinterState> loadState(const std::string &path, std::string *why) {
    // Non-blocking: opening a FIFO must not wait for a writer.
    posdll::Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    struct stat st;
    if (!fd || ::fstat(fd.get(), &st) != 0) {
        if (errno == ENOENT)
            return PrinterState{};
        *why = "state file " + path + ": " + posdll::errnoText(errno);
        return std::nullopt;
    }
    if (!S_ISREG(st.st_mode)) {
        *why = "state file " + path + ": not a regular file";
        return std::nullopt;
    }
    std::string text;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            *why = "state file " + path + ": " + posdll::errnoText(errno);
            return std::nullopt;
        }
        if (n == 0)
            break;
        text.append(buf, static_cast<std::size_t>(n));
        if (text.size() > kMaxStateBytes) {
            *why = "state file " + path + " is too large (more than " +
                   std::to_string(kMaxStateBytes / 1024) + " KiB)";
            return std::nullopt;
        }
    }
    std::string reason;
    auto state = parseState(text, &reason);
    if (!state)
        *why = "state file " + path + " is malformed: " + reason;
    return state;
}

bool saveState(const std::string &path, const PrinterState &state, std::string *why) {
    std::string temp = path + ".XXXXXX";
    posdll::Fd fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (!fd) {
        *why = "cannot write the state file " + path + ": " + posdll::errnoText(errno);
        return false;
    }
    const std::string text = formatState(state);
    const posdll::WriteProgress wrote = posdll::writeAll(
        fd.get(), posdll::FdKind::Device, reinterpret_cast<const unsigned char *>(text.data()),
        static_cast<int>(text.size()), posdll::milliseconds(5000));
    int err = wrote.complete(static_cast<int>(text.size())) ? 0 : (wrote.error ? wrote.error : EIO);
    if (!err && ::fsync(fd.get()) != 0)
        err = errno;
    if (const int closed = fd.reset(); !err && closed)
        err = closed;
    if (!err && ::rename(temp.c_str(), path.c_str()) != 0)
        err = errno;
    if (err) {
        ::unlink(temp.c_str());
        *why = "cannot write the state file " + path + ": " + posdll::errnoText(err);
        return false;
    }
    return true;
}

} // namespace emulator
