// Peers and a stopwatch for bench/cli-bench.sh, on 127.0.0.1 only.
//   loopback_peers sink SECONDS     listen on a free port, print it, take every connection and
//                                   read it to its end; on SIGTERM (or after SECONDS) print
//                                   "connections N bytes M" and exit
//   loopback_peers keep-open SECONDS  as sink, but a connection the sender ended stays open on
//                                   this side for 2 s more, as a printer that never closes
//   loopback_peers sink-any SECONDS   as sink, on every address of this machine (all of
//                                   127.0.0.0/8): only where lo is the sole interface, as
//                                   inside `unshare -n`; it never answers, a silent printer
//   loopback_peers silent SECONDS   listen on a free port, print it, never accept, backlog full
//   loopback_peers runs N CMD...    run CMD N times, its output to /dev/null; print each run's
//                                   wall time in microseconds and exit 1 if any run failed
//   loopback_peers measure CMD...   run CMD once, its output to /dev/null; print
//                                   "SECONDS PEAK_THREADS PEAK_KIB EXIT_STATUS", the threads
//                                   sampled from /proc/PID/status every millisecond
//   loopback_peers refused-floor PORT  socket, connect and close to PORT on each of the 65,534
//                                   hosts of 127.0.0.0/16, one after the other, where lo is the
//                                   sole interface: print the seconds it took, the least one
//                                   thread sweeping a refused /16 can take here
#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

extern char **environ;

namespace {

volatile sig_atomic_t g_stop = 0;

[[noreturn]] void die(const char *what) {
    std::fprintf(stderr, "loopback_peers: %s: %s\n", what, std::strerror(errno));
    std::exit(2);
}

sockaddr_in loopback(int port, in_addr_t address = INADDR_LOOPBACK) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(address);
    a.sin_port = htons(static_cast<uint16_t>(port));
    return a;
}

// True when lo is this network namespace's only interface, so a listener on every address
// can be reached from this machine alone.
bool onlyLoopback() {
    ifaddrs *list = nullptr;
    if (::getifaddrs(&list) != 0)
        return false;
    bool only = true;
    for (const ifaddrs *i = list; i; i = i->ifa_next)
        only = only && std::strcmp(i->ifa_name, "lo") == 0;
    ::freeifaddrs(list);
    return only;
}

int listenOnFreePort(int backlog, int &port, in_addr_t address = INADDR_LOOPBACK) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = loopback(0, address);
    socklen_t len = sizeof a;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 ||
        ::listen(fd, backlog) != 0 || ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len))
        die("listen on 127.0.0.1");
    port = ntohs(a.sin_port);
    return fd;
}

void onSignal(int) {
    g_stop = 1;
}

void stopOnSignals() {
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
}

using Clock = std::chrono::steady_clock;

// How long keep-open holds a connection after its sender ended it: well past the client's
// half-second watch for a reset, and short enough that a long batch does not run out of
// descriptors.
constexpr auto kKeptOpen = std::chrono::seconds(2);

int sink(int seconds, bool keepOpen, in_addr_t address = INADDR_LOOPBACK) {
    int port = 0;
    const int lfd = listenOnFreePort(4096, port, address);
    ::fcntl(lfd, F_SETFL, O_NONBLOCK); // accepts all that wait, then polls again
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0) { // a connection for each of many senders
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
    std::printf("%d\n", port);
    std::fflush(stdout);
    stopOnSignals();
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    std::vector<pollfd> fds{{lfd, POLLIN, 0}};
    std::vector<std::pair<int, Clock::time_point>> kept; // ended by the sender, closed later
    long connections = 0, bytes = 0;
    while (!g_stop && Clock::now() < end) {
        while (!kept.empty() && kept.front().second <= Clock::now()) {
            ::close(kept.front().first);
            kept.erase(kept.begin());
        }
        if (::poll(fds.data(), fds.size(), 100) <= 0)
            continue;
        for (int taken = 0; (fds[0].revents & POLLIN) && taken < 256; ++taken) {
            const int c = ::accept4(lfd, nullptr, nullptr, SOCK_CLOEXEC);
            if (c < 0)
                break;
            ++connections;
            fds.push_back({c, POLLIN, 0});
        }
        for (std::size_t i = fds.size(); i-- > 1;) {
            if (!fds[i].revents)
                continue;
            char buf[4096];
            const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                bytes += n;
                continue;
            }
            if (keepOpen)
                kept.emplace_back(fds[i].fd, Clock::now() + kKeptOpen);
            else
                ::close(fds[i].fd); // the peer's end: close ours, as a printer does
            fds.erase(fds.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
    std::printf("connections %ld bytes %ld\n", connections, bytes);
    return 0;
}

int silent(int seconds) {
    int port = 0;
    const int lfd = listenOnFreePort(0, port);
    // Backlog 0 still queues one connection; the next attempts get no answer.
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        const int c = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        const sockaddr_in a = loopback(port);
        fillers.push_back(c);
        if (::connect(c, reinterpret_cast<const sockaddr *>(&a), sizeof a) == 0)
            continue;
        pollfd p{c, POLLOUT, 0};
        if (::poll(&p, 1, 200) != 1)
            break;
    }
    std::printf("%d\n", port);
    std::fflush(stdout);
    stopOnSignals();
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    while (!g_stop && Clock::now() < end)
        ::poll(nullptr, 0, 100);
    (void)lfd;
    return 0;
}

// The number after "Threads:" in /proc/PID/status, 0 once the process is gone.
int threadsOf(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string word;
    while (status >> word)
        if (word == "Threads:" && status >> word)
            return std::atoi(word.c_str());
    return 0;
}

int measure(char **argv) {
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    const auto start = Clock::now();
    pid_t pid;
    if (posix_spawnp(&pid, argv[0], &quiet, nullptr, argv, environ) != 0)
        die(argv[0]);
    int peakThreads = 0;
    int status = 0;
    rusage usage{};
    while (::wait4(pid, &status, WNOHANG, &usage) == 0) {
        peakThreads = std::max(peakThreads, threadsOf(pid));
        ::poll(nullptr, 0, 1);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("%.3f %d %ld %d\n", seconds, peakThreads, usage.ru_maxrss,
                WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
    posix_spawn_file_actions_destroy(&quiet);
    return 0;
}

int runs(int n, char **argv) {
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    bool allOk = true;
    for (int i = 0; i < n; ++i) {
        const auto start = Clock::now();
        pid_t pid;
        if (posix_spawnp(&pid, argv[0], &quiet, nullptr, argv, environ) != 0)
            die(argv[0]);
        int status = 0;
        ::waitpid(pid, &status, 0);
        const auto us =
            std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
        allOk = allOk && WIFEXITED(status) && WEXITSTATUS(status) == 0;
        std::printf("%lld\n", static_cast<long long>(us));
    }
    posix_spawn_file_actions_destroy(&quiet);
    return allOk ? 0 : 1;
}

int refusedFloor(int port) {
    const auto start = std::chrono::steady_clock::now();
    int refused = 0;
    for (std::uint32_t host = 1; host < 0xFFFF; ++host) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            die("socket");
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        a.sin_addr.s_addr = htonl(0x7F000000u | host);
        if (::connect(fd, reinterpret_cast<const sockaddr *>(&a), sizeof a) < 0 &&
            errno == ECONNREFUSED)
            ++refused;
        ::close(fd);
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("%.3f %d\n", took.count(), refused);
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    const std::string mode = argc > 2 ? argv[1] : "";
    const int number = argc > 2 ? std::atoi(argv[2]) : 0;
    if ((mode == "sink" || mode == "keep-open") && number > 0)
        return sink(number, mode == "keep-open");
    const bool wide = mode == "sink-any" || mode == "refused-floor";
    if (wide && number > 0 && !onlyLoopback()) {
        std::fprintf(stderr,
                     "loopback_peers: %s only where lo is the sole interface "
                     "(unshare -n, then ip link set lo up)\n",
                     mode.c_str());
        return 2;
    }
    if (mode == "sink-any" && number > 0)
        return sink(number, false, INADDR_ANY);
    if (mode == "measure" && argc > 2)
        return measure(argv + 2);
    if (mode == "silent" && number > 0)
        return silent(number);
    if (mode == "runs" && number > 0 && argc > 3)
        return runs(number, argv + 3);
    if (mode == "refused-floor" && number > 0)
        return refusedFloor(number);
    std::fprintf(stderr, "usage: loopback_peers sink|keep-open|sink-any|silent SECONDS | runs N "
                         "CMD... | measure CMD... | refused-floor PORT\n");
    return 2;
}
