// Real peers and scratch space for integration tests: temporary folders, environment
// overrides, loopback TCP listeners, pseudo-terminals, and bounded reads.
#pragma once

#include "posdll/fd.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <grp.h>
#include <iterator>
#include <map>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace testing_support {

using posdll::Fd;

using Bytes = std::vector<unsigned char>;

// A frame, or any other range of bytes, in the form the peers hand back what they read.
template <typename Range> Bytes bytesOf(const Range &range) {
    return Bytes(std::begin(range), std::end(range));
}
using std::chrono::milliseconds;

// A folder of its own, removed with everything in it. Readable by everyone, so a test that
// drops privileges can reach the files inside.
class TempDir {
  public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "posdip-test-XXXXXX").string();
        if (::mkdtemp(tmpl.data()))
            m_path = tmpl;
        std::filesystem::permissions(m_path, std::filesystem::perms(0755));
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    std::string file(const std::string &name) const { return (m_path / name).string(); }

  private:
    std::filesystem::path m_path;
};

// Sets (or unsets, with nullopt) an environment variable for one scope.
class ScopedEnv {
  public:
    ScopedEnv(std::string name, std::optional<std::string> value) : m_name(std::move(name)) {
        if (const char *old = std::getenv(m_name.c_str()))
            m_old = old;
        if (value)
            ::setenv(m_name.c_str(), value->c_str(), 1);
        else
            ::unsetenv(m_name.c_str());
    }
    ~ScopedEnv() {
        if (m_old)
            ::setenv(m_name.c_str(), m_old->c_str(), 1);
        else
            ::unsetenv(m_name.c_str());
    }

  private:
    std::string m_name;
    std::optional<std::string> m_old;
};

// Reads count bytes, or less when the stream ends or the bound passes first.
inline Bytes readCount(int fd, std::size_t count, milliseconds bound = milliseconds(10000)) {
    Bytes out;
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (out.size() < count) {
        const auto left =
            std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            break;
        unsigned char buf[4096];
        const ssize_t n = ::read(fd, buf, std::min(sizeof buf, count - out.size()));
        if (n <= 0)
            break;
        out.insert(out.end(), buf, buf + n);
    }
    return out;
}

inline Bytes readUntilEof(int fd, milliseconds bound = milliseconds(10000)) {
    return readCount(fd, SIZE_MAX, bound);
}

struct OpenFile {
    std::string target; // what the descriptor refers to: "socket:[4711]", "/dev/pts/3"
    dev_t device = 0;
    ino_t inode = 0;
    bool sameFile(const OpenFile &o) const { return device == o.device && inode == o.inode; }
};

// This process's open descriptors, so a check finds the one a call left open even where
// another was closed meanwhile.
inline std::map<int, OpenFile> openDescriptors() {
    std::map<int, OpenFile> fds;
    DIR *dir = ::opendir("/proc/self/fd");
    if (!dir)
        return fds;
    while (const dirent *e = ::readdir(dir)) {
        const int fd = std::atoi(e->d_name);
        char target[PATH_MAX];
        struct stat st;
        if (e->d_name[0] == '.' || fd == ::dirfd(dir) || ::fstat(fd, &st) != 0)
            continue;
        const ssize_t n = ::readlinkat(::dirfd(dir), e->d_name, target, sizeof target);
        fds[fd] = {std::string(target, n > 0 ? static_cast<std::size_t>(n) : 0), st.st_dev,
                   st.st_ino};
    }
    ::closedir(dir);
    return fds;
}

// Runs body in a child process with the user and group nobody (65534) and returns the text it
// gave back, so a test running as root can meet a real "permission denied".
template <class Body> std::string asNobody(Body body) {
    int p[2];
    if (::pipe(p) != 0)
        return "pipe failed";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(p[0]);
        std::string out = "could not drop privileges";
        if (::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0)
            out = body();
        const ssize_t n = ::write(p[1], out.data(), out.size());
        ::_exit(n == static_cast<ssize_t>(out.size()) ? 0 : 1);
    }
    ::close(p[1]);
    const Bytes text = readUntilEof(p[0]);
    ::close(p[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return std::string(text.begin(), text.end());
}

// A TCP listener on a loopback address and a free port.
class Listener {
  public:
    // host: "127.0.0.1", "::1" or another loopback address; port 0 takes a free one. Check ok()
    // before use; when it is false, errno says why.
    explicit Listener(const std::string &host = "127.0.0.1", int backlog = 8, int port = 0) {
        const bool v6 = host.find(':') != std::string::npos;
        m_fd.reset(::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        const int one = 1;
        ::setsockopt(m_fd.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_storage ss{};
        socklen_t len = 0;
        if (v6) {
            auto *a = reinterpret_cast<sockaddr_in6 *>(&ss);
            a->sin6_family = AF_INET6;
            a->sin6_port = htons(static_cast<uint16_t>(port));
            ::inet_pton(AF_INET6, host.c_str(), &a->sin6_addr);
            len = sizeof *a;
        } else {
            auto *a = reinterpret_cast<sockaddr_in *>(&ss);
            a->sin_family = AF_INET;
            a->sin_port = htons(static_cast<uint16_t>(port));
            ::inet_pton(AF_INET, host.c_str(), &a->sin_addr);
            len = sizeof *a;
        }
        if (::bind(m_fd.get(), reinterpret_cast<sockaddr *>(&ss), len) != 0 ||
            ::listen(m_fd.get(), backlog) != 0 ||
            ::getsockname(m_fd.get(), reinterpret_cast<sockaddr *>(&ss), &len) != 0) {
            const int why = errno;
            m_fd.reset();
            errno = why;
            return;
        }
        m_port = ntohs(v6 ? reinterpret_cast<sockaddr_in6 *>(&ss)->sin6_port
                          : reinterpret_cast<sockaddr_in *>(&ss)->sin_port);
        m_address = (v6 ? "[" + host + "]" : host) + ":" + std::to_string(m_port);
    }
    bool ok() const { return m_fd.get() >= 0; }
    int port() const { return m_port; }
    int fd() const { return m_fd.get(); }
    // "127.0.0.1:40123" or "[::1]:40123"
    const std::string &address() const { return m_address; }

    // The next connection, or an empty descriptor when none comes within the bound.
    Fd accept(milliseconds bound = milliseconds(10000)) const {
        pollfd p{m_fd.get(), POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(bound.count())) <= 0)
            return Fd();
        return Fd(::accept4(m_fd.get(), nullptr, nullptr, SOCK_CLOEXEC));
    }

  private:
    Fd m_fd;
    int m_port = 0;
    std::string m_address;
};

// Connects to an IPv4 listener that never accepts until its queue of connections waiting to be
// accepted is full, so the next attempt gets no answer. They stay queued while the result lives.
inline std::vector<Fd> fillAcceptQueue(const Listener &l) {
    std::vector<Fd> queued;
    for (int i = 0; i < 16; ++i) {
        Fd c(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(l.port()));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(c.get(), reinterpret_cast<sockaddr *>(&a), sizeof a);
        pollfd p{c.get(), POLLOUT, 0};
        const bool connected = ::poll(&p, 1, 300) == 1;
        queued.push_back(std::move(c));
        if (!connected)
            break;
    }
    return queued;
}

// A socket bound to a free port that does not listen: connecting to it is refused.
struct ClosedPort {
    Fd fd{::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)};
    int port = 0;
    ClosedPort() {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(fd.get(), reinterpret_cast<sockaddr *>(&a), len);
        ::getsockname(fd.get(), reinterpret_cast<sockaddr *>(&a), &len);
        port = ntohs(a.sin_port);
    }
    std::string address() const { return "127.0.0.1:" + std::to_string(port); }
};

// A pseudo-terminal: the test holds the master (the printer's side) and a slave descriptor.
struct Pty {
    Fd master;
    Fd slave;
    std::string path; // of the slave, e.g. /dev/pts/4
    Pty() {
        int m = -1;
        int s = -1;
        if (::openpty(&m, &s, nullptr, nullptr, nullptr) != 0)
            return;
        master.reset(m);
        slave.reset(s);
        path = ::ttyname(s);
    }
};

} // namespace testing_support
