#include "batch/file_text.h"

#include "posdll/fd.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
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

namespace {

std::string folderOf(const std::string &path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

int writeAndSync(int fd, const std::string &text) {
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        done += static_cast<std::size_t>(n);
    }
    return ::fsync(fd) == 0 ? 0 : errno;
}

} // namespace

int replaceFile(const std::string &path, const std::string &text) {
    const std::string temp = path + ".tmp." + std::to_string(::getpid());
    posdll::Fd fd(
        ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (!fd)
        return errno;
    int err = writeAndSync(fd.get(), text);
    if (const int closed = fd.reset(); !err && closed)
        err = closed;
    if (!err && ::rename(temp.c_str(), path.c_str()) != 0)
        err = errno;
    if (err) {
        ::unlink(temp.c_str());
        return err;
    }
    // The rename itself is on the disk once the folder is.
    posdll::Fd folder(::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder && ::fsync(folder.get()) != 0)
        return errno;
    return 0;
}

} // namespace batch
