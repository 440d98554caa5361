#include "posdll/device_file.h"

#include "posdll/port_names.h"
#include "posdll/quoted.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace posdll {

namespace {

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
        return std::string("add your user to the group '") + kind.group + "', then log in again";
    const std::string owner = groupName(st.st_gid);
    if (st.st_gid != 0 && (st.st_mode & S_IWGRP))
        return "add your user to the group '" + owner + "', then log in again";
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    return "the device (group '" + owner + "', mode " + mode +
           ") cannot be written by its group; such devices are usually writable by the group '" +
           kind.group + "'";
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

std::string overrideVariable(const DeviceKind &kind, int number) {
    return std::string("POSDLL_PORT_") + kind.prefix + std::to_string(number);
}

std::optional<DeviceTarget> locateDevice(const DeviceKind &kind, const std::string &name) {
    const auto number = portNumber(name, kind.prefix);
    if (!number) {
        setLastError(std::string(kind.what) + " " + quoted(name) + ": not a port name; use " +
                     kind.prefix + " followed by a number from 1 to 255, as " + kind.prefix + "1",
                     POS_ERR_BAD_ARGUMENT);
        return std::nullopt;
    }
    DeviceTarget t;
    t.number = *number;
    const char *env = std::getenv(overrideVariable(kind, t.number).c_str());
    if (env && *env) {
        t.path = env;
        t.overridden = true;
    } else {
        const std::vector<std::string> usual = kind.usualPaths(t.number);
        t.path = usual.back();
        for (const std::string &p : usual) {
            if (exists(p)) {
                t.path = p;
                break;
            }
        }
    }
    t.label =
        std::string(kind.what) + " " + kind.prefix + std::to_string(t.number) + " (" + t.path + ")";
    return t;
}

Fd openLocked(const DeviceKind &kind, const DeviceTarget &target, int flags) {
    Fd fd(::open(target.path.c_str(), flags | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
    if (!fd) {
        const int err = errno;
        std::string reason = target.label + ": " + openFailure(kind, target.path, err);
        if (err == ENOENT && !target.overridden) {
            for (const std::string &p : kind.usualPaths(target.number))
                if (p != target.path)
                    reason += "; nor is there " + p;
            reason += " (set " + overrideVariable(kind, target.number) +
                      " to use another device for this port)";
        }
        setLastError(reason, errorKindOf(err));
        return Fd();
    }
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        setLastError(target.label + ": " +
                         (err == EWOULDBLOCK ? "busy: another program holds it"
                                             : "cannot lock it: " + errnoText(err)),
                     errorKindOf(err));
        return Fd();
    }
    return fd;
}

bool DeviceFile::fail(const std::string &reason, ErrorKind kind) const {
    setLastError(m_label + ": " + reason, kind);
    return false;
}

int DeviceFile::write(const unsigned char *bytes, int count) {
    const WriteProgress p = writeAll(m_fd.get(), FdKind::Device, bytes, count, writeWait());
    if (p.complete(count))
        return count;
    if (p.stalled)
        fail("took no bytes for " + durationText(writeWait()) + " " + progressText(p, count) +
                 "; is the printer on, with paper, and ready?",
             POS_ERR_TIMEOUT);
    else
        fail(errnoText(p.error) + " " + progressText(p, count), errorKindOf(p.error));
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
        return fail("cannot be read: it was opened for writing only"), -1;
    return fail("reading failed: " + errnoText(err), errorKindOf(err)), -1;
}

bool DeviceFile::close() {
    const int err = m_fd.reset();
    return err == 0 || fail("closing it failed: " + errnoText(err));
}

} // namespace posdll
