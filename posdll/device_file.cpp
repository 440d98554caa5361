#include "posdll/device_file.h"

#include "posdll/port_names.h"
#include "posdll/quoted.h"

#include <utility>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <linux/magic.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace posdll {

namespace {

// A parallel port without a back channel, or a FIFO or file standing in for one.
constexpr const char *kWriteOnly =
    "passes nothing back from the printer (it is opened for writing only)";

bool exists(const std::string &path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

std::string groupName(gid_t gid) {
    group g;
    group *found = nullptr;
    char buf[4096];
    if (getgrgid_r(gid, &g, buf, sizeof buf, &found) == 0 && found)
        return found->gr_name;
    return std::to_string(gid);
}

// What to do about EACCES: join the group that owns the device, when that group may write.
std::string permissionHint(const DeviceKind &kind, const std::string &path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return "add your user to the group " + quoted(kind.group) + ", then log in again";
    const std::string owner = groupName(st.st_gid);
    if (st.st_gid != 0 && (st.st_mode & S_IWGRP))
        return "add your user to the group " + quoted(owner) + ", then log in again";
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    return "the device (group " + quoted(owner) + ", mode " + mode +
           ") cannot be written by its group; such devices are usually writable by the group " +
           quoted(kind.group);
}

std::string openFailure(const DeviceKind &kind, const std::string &path, int err) {
    std::string why = errnoText(err);
    if (err == EACCES || err == EPERM)
        return why + " — " + permissionHint(kind, path);
    struct stat st;
    if (err == ENXIO && ::stat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode))
        return why + " (no program is reading from this FIFO)";
    return why;
}

} // namespace

std::optional<DeviceTarget> locateDevice(const DeviceKind &kind, const std::string &name) {
    const char *prefix = portPrefix(kind.family);
    const auto number = portNumber(name, prefix);
    if (!number) {
        setLastError(std::string(kind.what) + " " + quoted(name) + ": not a port name; use " +
                         prefix + " followed by a number from 1 to 255, as " + prefix + "1",
                     POS_ERR_BAD_ARGUMENT);
        return std::nullopt;
    }
    DeviceTarget t;
    t.port = PortName{kind.family, *number};
    const char *env = std::getenv(overrideVariable(t.port).c_str());
    t.device = portDevice(t.port, env ? env : "", exists);
    t.label = std::string(kind.what) + " " + portNameText(t.port) + " (" + t.device.path + ")";
    return t;
}

namespace {

void recordOpenFailure(const DeviceKind &kind, const DeviceTarget &target, int err) {
    std::string reason = target.label + ": " + openFailure(kind, target.device.path, err);
    if (err == ENOENT && !target.device.overridden) {
        for (const std::string &p : usualDevicePaths(target.port))
            if (p != target.device.path)
                reason += "; nor is there " + p;
        reason +=
            " (set " + overrideVariable(target.port) + " to use another device for this port)";
    }
    setLastError(reason, errorKindOf(err), err);
}

bool onKernelFileSystem(int fd) {
    struct statfs fs;
    return ::fstatfs(fd, &fs) == 0 && (fs.f_type == PROC_SUPER_MAGIC || fs.f_type == SYSFS_MAGIC);
}

bool filesAllowed() {
    const char *allow = std::getenv(kAllowFilesVariable);
    return allow && std::strcmp(allow, "1") == 0;
}

bool sameFile(const struct stat &a, const struct stat &b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_rdev == b.st_rdev;
}

// With files allowed, a parallel port's own path (an override) that does not exist yet is
// created empty, mode 0644 less the umask, so frames can be captured to a new file. Never on
// /proc or /sys, never through a link; the file is then checked as any other.
void createCaptureFile(const DeviceKind &kind, const DeviceTarget &target) {
    if (kind.family != PortFamily::Parallel || !target.device.overridden || !filesAllowed())
        return;
    const std::string &path = target.device.path;
    const auto slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    if (name.empty() || name == "." || name == "..")
        return;
    const Fd dir(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!dir || onKernelFileSystem(dir.get()))
        return;
    Fd(::openat(dir.get(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                0644));
}

} // namespace

Fd openLocked(const DeviceKind &kind, const DeviceTarget &target, int flags) {
    // The file's type is checked before it is opened for writing, on the file a symbolic link
    // leads to, and the file opened is checked to be the one looked at.
    char resolved[PATH_MAX];
    bool found = ::realpath(target.device.path.c_str(), resolved) != nullptr;
    if (!found && errno == ENOENT) {
        createCaptureFile(kind, target);
        found = ::realpath(target.device.path.c_str(), resolved) != nullptr;
    }
    if (!found) {
        recordOpenFailure(kind, target, errno);
        return Fd();
    }
    Fd look(::open(resolved, O_PATH | O_CLOEXEC | O_NOFOLLOW));
    struct stat before;
    if (!look || ::fstat(look.get(), &before) != 0) {
        recordOpenFailure(kind, target, errno);
        return Fd();
    }
    PortFile file;
    file.mode = before.st_mode;
    file.resolvedTo = target.device.path == resolved ? "" : resolved;
    file.kernelFile = onKernelFileSystem(look.get()) || onKernelPath(resolved);
    file.filesAllowed = filesAllowed();
    file.major = major(before.st_rdev);
    file.minor = minor(before.st_rdev);
    if (const auto refused = portFileRefusal(kind.family, file)) {
        setLastError(target.label + ": " + *refused, POS_ERR_NOT_DEVICE);
        return Fd();
    }
    Fd fd(::open(resolved, flags | O_NOCTTY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW));
    if (!fd) {
        recordOpenFailure(kind, target, errno);
        return Fd();
    }
    struct stat opened;
    if (::fstat(fd.get(), &opened) != 0 || !sameFile(before, opened)) {
        setLastError(target.label + ": the file was replaced while it was being opened");
        return Fd();
    }
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        setLastError(target.label + ": " +
                         (err == EWOULDBLOCK ? "busy: another program holds it"
                                             : "cannot lock it: " + errnoText(err)),
                     errorKindOf(err), err);
        return Fd();
    }
    return fd;
}

int pollWritable(int fd, Clock::time_point deadline) {
    return pollUntil(fd, POLLOUT, deadline);
}

bool DeviceFile::fail(const std::string &reason, ErrorKind kind, int err) const {
    setLastError(m_label + ": " + reason, kind, err);
    return false;
}

int DeviceFile::write(const unsigned char *bytes, int count) {
    const WriteProgress p = writeAll(m_fd.get(), FdKind::Device, bytes, count, writeWait());
    m_unconfirmed += p.written;
    if (p.complete(count))
        return count;
    if (p.stalled)
        fail("took no bytes for " + durationText(writeWait()) + " " + progressText(p, count) +
                 "; is the printer on, with paper, and ready?",
             POS_ERR_TIMEOUT);
    else
        fail(errnoText(p.error) + " " + progressText(p, count), errorKindOf(p.error), p.error);
    return -1;
}

int DeviceFile::read(unsigned char *bytes, int count, milliseconds wait) {
    const int got = readSome(m_fd.get(), bytes, count, Clock::now() + wait);
    if (got == kEndOfStream) // a file standing in for the printer: it has nothing to say
        return 0;
    if (got >= 0)
        return got;
    const int err = errno;
    if (err == EBADF)
        return fail(kWriteOnly, POS_ERR_NO_BACK_CHANNEL), -1;
    return fail("reading failed: " + errnoText(err), errorKindOf(err), err), -1;
}

bool DeviceFile::discardInput() {
    const int flags = ::fcntl(m_fd.get(), F_GETFL);
    if (flags != -1 && (flags & O_ACCMODE) == O_WRONLY)
        return fail(kWriteOnly, POS_ERR_NO_BACK_CHANNEL);
    unsigned char buf[512];
    // The descriptor does not block; a device that never stops talking is cut off at 64 KiB.
    for (int total = 0; total < (1 << 16);) {
        const ssize_t n = ::read(m_fd.get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        total += static_cast<int>(n);
    }
    return true;
}

bool DeviceFile::awaitDelivery() {
    if (!m_delivered || m_unconfirmed == 0)
        return true;
    const int count = std::exchange(m_unconfirmed, 0);
    const int ready = m_delivered(m_fd.get(), Clock::now() + writeWait());
    if (const int err = errno; ready < 0)
        return fail("cannot tell whether the printer took the bytes: " + errnoText(err),
                    POS_ERR_INTERNAL, err);
    if (ready == 0)
        return fail("the printer did not take the last " + std::to_string(count) +
                        " bytes within " + durationText(writeWait()) +
                        "; is the printer on, with paper?",
                    POS_ERR_TIMEOUT);
    if (!(ready & POLLOUT))
        return fail("the device reported an error with " + std::to_string(count) +
                    " bytes not yet taken by the printer");
    return true;
}

bool DeviceFile::endDoc() {
    return awaitDelivery();
}

bool DeviceFile::close() {
    const bool delivered = awaitDelivery();
    const int err = m_fd.reset();
    if (err != 0)
        return fail("closing it failed: " + errnoText(err), POS_ERR_INTERNAL, err);
    return delivered;
}

} // namespace posdll
