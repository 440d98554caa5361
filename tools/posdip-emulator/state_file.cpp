#include "state_file.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace emulator {

namespace {

// Far more than a state file ever holds; a bigger file is not one.
constexpr std::size_t kMaxStateBytes = 64 * 1024;
// As many links as the system follows in one path.
constexpr int kMaxLinks = 40;
// A file replaced between our open and our lock is opened again, this many times.
constexpr int kOpenAttempts = 5;

std::string folderOf(const std::string &path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The file a chain of symbolic links at path leads to, existing or not; path itself when it is
// no link. Empty with errno when a link cannot be read or the chain does not end.
std::optional<std::string> followLinks(std::string path) {
    for (int hops = 0; hops <= kMaxLinks; ++hops) {
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path; // a missing file or another failure: opening it says what
        char target[PATH_MAX];
        const ssize_t n = ::readlink(path.c_str(), target, sizeof target);
        if (n < 0)
            return std::nullopt;
        const std::string next(target, static_cast<std::size_t>(n));
        path = next.front() == '/' ? next : folderOf(path) + "/" + next;
    }
    errno = ELOOP;
    return std::nullopt;
}

// The whole text of a regular file open at fd; empty with ": the reason" or " is ..." in *why.
std::optional<std::string> readSmallFile(int fd, std::string *why) {
    std::string text;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            *why = ": " + posdll::errnoText(errno);
            return std::nullopt;
        }
        if (n == 0)
            return text;
        text.append(buf, static_cast<std::size_t>(n));
        if (text.size() > kMaxStateBytes) {
            *why = " is too large (more than " + std::to_string(kMaxStateBytes / 1024) + " KiB)";
            return std::nullopt;
        }
    }
}

bool sameFile(const struct stat &a, const struct stat &b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

} // namespace

std::optional<StateFile> StateFile::open(const std::string &path, std::string *why) {
    // what: ": the reason" or " is ..."
    auto fail = [&](const std::string &what) -> std::optional<StateFile> {
        *why = "state file " + path + what;
        return std::nullopt;
    };
    const auto target = followLinks(path);
    if (!target)
        return fail(": " + posdll::errnoText(errno));
    StateFile f(path, *target);
    for (int attempt = 1; attempt <= kOpenAttempts; ++attempt) {
        // Non-blocking: opening a FIFO must not wait for a writer.
        posdll::Fd fd(::open(target->c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
        if (!fd && errno == ENOENT) {
            // A new printer: its file is written now, which proves that it can be.
            const int err = f.write(PrinterState{}, Save::CreateOnly);
            if (err == EEXIST) // another emulator made it meanwhile
                continue;
            if (err) {
                *why = f.cannotSave(err);
                return std::nullopt;
            }
            return f;
        }
        struct stat opened;
        if (!fd || ::fstat(fd.get(), &opened) != 0)
            return fail(": " + posdll::errnoText(errno));
        if (!S_ISREG(opened.st_mode))
            return fail(": not a regular file");
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
            return fail(errno == EWOULDBLOCK ? " is in use by another posdip-emulator"
                                             : ": " + posdll::errnoText(errno));
        // The emulator that had it may have replaced it between our open and our lock.
        struct stat now;
        if (::stat(target->c_str(), &now) != 0 || !sameFile(opened, now))
            continue;
        std::string reason;
        const auto text = readSmallFile(fd.get(), &reason);
        if (!text)
            return fail(reason);
        const auto state = parseState(*text, &reason);
        if (!state)
            return fail(" is malformed: " + reason);
        // Saving makes a file beside it: a folder that refuses one would lose every change.
        std::string temp;
        if (!f.makeTemporary(&temp)) {
            *why = f.cannotSave(errno);
            return std::nullopt;
        }
        ::unlink(temp.c_str());
        f.m_locked = std::move(fd);
        f.m_kept = *state;
        return f;
    }
    return fail(" was replaced again and again while it was opened");
}

bool StateFile::save(const PrinterState &state, std::string *why) {
    const int err = write(state, Save::Replace);
    if (err)
        *why = cannotSave(err);
    return err == 0;
}

int StateFile::write(const PrinterState &state, Save how) {
    std::string temp;
    posdll::Fd fd = makeTemporary(&temp);
    if (!fd)
        return errno;
    const std::string text = formatState(state);
    // Locked before anyone can see it, so the lock goes along with each new file.
    int err = ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0 ? 0 : errno;
    if (!err) {
        const posdll::WriteProgress wrote = posdll::writeAll(
            fd.get(), posdll::FdKind::Device, reinterpret_cast<const unsigned char *>(text.data()),
            static_cast<int>(text.size()), posdll::milliseconds(5000));
        if (!wrote.complete(static_cast<int>(text.size())))
            err = wrote.error ? wrote.error : EIO;
    }
    if (!err && ::fsync(fd.get()) != 0)
        err = errno;
    if (!err && how == Save::Replace && ::rename(temp.c_str(), m_target.c_str()) != 0)
        err = errno;
    if (!err && how == Save::CreateOnly && ::link(temp.c_str(), m_target.c_str()) != 0)
        err = errno;
    if (err || how == Save::CreateOnly)
        ::unlink(temp.c_str());
    if (err)
        return err;
    // The rename itself is kept only once the folder is on disk too.
    if (posdll::Fd folder(::open(folderOf(m_target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        folder)
        ::fsync(folder.get());
    m_locked = std::move(fd);
    return 0;
}

posdll::Fd StateFile::makeTemporary(std::string *temp) const {
    *temp = m_target + ".XXXXXX";
    return posdll::Fd(::mkostemp(temp->data(), O_CLOEXEC));
}

std::string StateFile::cannotSave(int err) const {
    return "state file " + m_path + ": cannot save it in its folder " + folderOf(m_target) + ": " +
           posdll::errnoText(err);
}

} // namespace emulator
