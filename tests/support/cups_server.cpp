#include "support/cups_server.h"

#include "support/child_process.h"
#include "support/posix_peers.h"

#include <cups/cups.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace testing_support {

namespace {

constexpr auto kStartLimit = 15s;
constexpr auto kStopLimit = 10s;

int freeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    int port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr *>(&addr), len) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    if (fd >= 0)
        ::close(fd);
    return port;
}

// Waits for a child, at most `limit`; true when it ended.
bool reap(pid_t pid, std::chrono::milliseconds limit, int *status = nullptr) {
    const auto end = std::chrono::steady_clock::now() + limit;
    int st = 0;
    for (;;) {
        const pid_t r = ::waitpid(pid, &st, WNOHANG);
        if (r == pid || (r < 0 && errno == ECHILD)) {
            if (status)
                *status = st;
            return true;
        }
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(20ms);
    }
}

std::string userName() {
    const passwd *pw = ::getpwuid(::geteuid());
    return pw ? pw->pw_name : std::to_string(::geteuid());
}

std::string groupName() {
    const group *gr = ::getgrgid(::getegid());
    return gr ? gr->gr_name : std::to_string(::getegid());
}

} // namespace

bool CupsServer::installed() {
    return ::access(kDaemon, X_OK) == 0;
}

CupsServer::CupsServer() {
    std::string tmpl = (fs::temp_directory_path() / "posdip-cupsd-XXXXXX").string();
    if (!::mkdtemp(tmpl.data()))
        return; // start() reports it
    m_root = tmpl;
    // The daemon runs backends as its unprivileged user, who must reach the spool folder.
    fs::permissions(m_root, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    for (const char *dir : {"etc", "spool", "spool/tmp", "cache", "state", "log", "client", "home"})
        fs::create_directories(m_root / dir);
}

CupsServer::~CupsServer() {
    stop();
    std::error_code ignored;
    if (!m_root.empty())
        fs::remove_all(m_root, ignored);
}

std::string CupsServer::address() const {
    return "127.0.0.1:" + std::to_string(m_port);
}

void CupsServer::writeConfig() const {
    std::ofstream(m_root / "etc/cupsd.conf")
        << "LogLevel debug\nMaxLogSize 0\n"
        << "Listen " << address() << "\nServerName 127.0.0.1\n"
        << "Browsing No\nBrowseLocalProtocols none\nDefaultShared No\nWebInterface No\n"
        << "DefaultAuthType None\n"
        << "<Location />\nOrder allow,deny\nAllow from 127.0.0.1\n</Location>\n"
        << "<Policy default>\n"
        << "JobPrivateAccess all\nJobPrivateValues none\n"
        << "SubscriptionPrivateAccess all\nSubscriptionPrivateValues none\n"
        << "<Limit All>\nOrder allow,deny\nAllow from 127.0.0.1\n</Limit>\n"
        << "</Policy>\n";

    std::ofstream files(m_root / "etc/cups-files.conf");
    // As root the daemon runs backends as its default unprivileged user (lp); otherwise it can
    // only be the user running the tests.
    if (::geteuid() == 0)
        files << "SystemGroup root\n";
    else
        files << "User " << userName() << "\nGroup " << groupName() << "\nSystemGroup "
              << groupName() << "\n";
    const std::pair<const char *, const char *> folders[] = {
        {"ServerRoot", "etc"},           {"RequestRoot", "spool"},    {"TempDir", "spool/tmp"},
        {"CacheDir", "cache"},           {"StateDir", "state"},       {"ErrorLog", "log/error_log"},
        {"AccessLog", "log/access_log"}, {"PageLog", "log/page_log"},
    };
    for (const auto &[directive, path] : folders)
        files << directive << " " << (m_root / path).string() << "\n";
    files << "FileDevice No\n";
}

bool CupsServer::spawn(std::string &why) {
    const std::string conf = (m_root / "etc/cupsd.conf").string();
    const std::string files = (m_root / "etc/cups-files.conf").string();
    const std::string out = (m_root / "log/daemon_output").string();
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL); // never outlive a crashed test
        if (::getppid() != parent)
            ::_exit(1);
        const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        ::dup2(fd, 1);
        ::dup2(fd, 2);
        ::execl(kDaemon, "cupsd", "-f", "-c", conf.c_str(), "-s", files.c_str(), nullptr);
        ::_exit(127);
    }
    if (pid < 0) {
        why = std::string("fork: ") + std::strerror(errno);
        return false;
    }
    m_pid = pid;
    return true;
}

bool CupsServer::waitUntilAnswering(std::string &why) {
    const auto end = std::chrono::steady_clock::now() + kStartLimit;
    while (std::chrono::steady_clock::now() < end) {
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            why = "cupsd ended at start (status " + std::to_string(status) + ")";
            return false;
        }
        http_t *http = httpConnect2("127.0.0.1", m_port, nullptr, AF_INET,
                                    HTTP_ENCRYPTION_IF_REQUESTED, 1, 500, nullptr);
        if (http) {
            httpSetTimeout(http, 2.0, nullptr, nullptr);
            ipp_t *answer = cupsDoRequest(http, ippNewRequest(IPP_OP_CUPS_GET_DEFAULT), "/");
            httpClose(http);
            if (answer) {
                ippDelete(answer);
                return true;
            }
        }
        std::this_thread::sleep_for(50ms);
    }
    why = "cupsd did not answer on " + address() + " within " +
          std::to_string(kStartLimit.count()) + " s";
    return false;
}

bool CupsServer::start(std::string &why) {
    if (m_root.empty()) {
        why = "no temporary folder for cupsd";
        return false;
    }
    if (running()) {
        resume();
        return true;
    }
    const bool samePort = m_port != 0; // a restart keeps the address that clients already use
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (!samePort)
            m_port = freeLoopbackPort();
        writeConfig();
        if (!spawn(why))
            return false;
        if (waitUntilAnswering(why)) {
            ::setenv("CUPS_SERVER", address().c_str(), 1);
            ::setenv("CUPS_SERVERROOT", (m_root / "client").c_str(), 1); // no client.conf
            ::setenv("HOME", (m_root / "home").c_str(), 1);              // no lpoptions
            cupsSetServer(nullptr); // this thread reads CUPS_SERVER again
            return true;
        }
        stop();
        if (samePort)
            break;
    }
    why += "\n--- cupsd log ---\n" + logTail();
    return false;
}

bool CupsServer::running() {
    if (m_pid > 0 && ::waitpid(m_pid, nullptr, WNOHANG) == m_pid)
        m_pid = -1;
    return m_pid > 0;
}

void CupsServer::stop() {
    if (m_pid <= 0)
        return;
    resume();
    ::kill(m_pid, SIGTERM);
    if (!reap(m_pid, kStopLimit)) {
        ::kill(m_pid, SIGKILL);
        reap(m_pid, kStopLimit);
    }
    m_pid = -1;
}

void CupsServer::pause() {
    if (m_pid > 0 && ::kill(m_pid, SIGSTOP) == 0)
        m_paused = true;
}

void CupsServer::resume() {
    if (m_paused && m_pid > 0)
        ::kill(m_pid, SIGCONT);
    m_paused = false;
}

bool CupsServer::addQueue(const std::string &name, int devicePort, std::string &why,
                          const std::string &ppdFile) {
    std::vector<std::string> args = {
        "lpadmin", "-p", name, "-E", "-v", "socket://127.0.0.1:" + std::to_string(devicePort)};
    if (!ppdFile.empty())
        args.insert(args.end(), {"-P", ppdFile});
    const ToolRun r = runTool(args);
    why = r.output;
    return r.ok();
}

bool CupsServer::removeAllQueues(std::string &why) {
    const ToolRun list = runTool({"lpstat", "-e"});
    std::istringstream names(list.output);
    for (std::string name; std::getline(names, name);) {
        const ToolRun r = runTool({"lpadmin", "-x", name});
        if (!r.ok()) {
            why = "lpadmin -x " + name + ": " + r.output;
            return false;
        }
    }
    return true;
}

std::vector<QueuedJob> CupsServer::jobs(const std::string &queue) {
    std::vector<QueuedJob> found;
    http_t *http = httpConnect2("127.0.0.1", m_port, nullptr, AF_INET, HTTP_ENCRYPTION_IF_REQUESTED,
                                1, 2000, nullptr);
    if (!http)
        return found;
    httpSetTimeout(http, 5.0, nullptr, nullptr);
    cups_job_t *jobs = nullptr;
    const int count = cupsGetJobs2(http, &jobs, queue.c_str(), 0, CUPS_WHICHJOBS_ALL);
    for (int i = 0; i < count; ++i)
        found.push_back({jobs[i].id, jobs[i].title ? jobs[i].title : "",
                         jobs[i].format ? jobs[i].format : "", jobs[i].state});
    cupsFreeJobs(count, jobs);
    httpClose(http);
    std::sort(found.begin(), found.end(),
              [](const QueuedJob &a, const QueuedJob &b) { return a.id < b.id; });
    return found;
}

std::vector<QueuedJob> CupsServer::endedJobs(const std::string &queue, std::chrono::seconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    for (;;) {
        std::vector<QueuedJob> found = jobs(queue);
        const bool ended = std::all_of(found.begin(), found.end(), [](const QueuedJob &j) {
            return j.state >= IPP_JSTATE_CANCELED;
        });
        if (ended || std::chrono::steady_clock::now() >= until)
            return found;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

std::string CupsServer::logTail(std::size_t lines) const {
    std::ifstream in(m_root / "log/error_log");
    std::vector<std::string> all;
    for (std::string line; std::getline(in, line);)
        all.push_back(line);
    std::ifstream out(m_root / "log/daemon_output");
    for (std::string line; std::getline(out, line);)
        all.push_back("(output) " + line);
    std::string tail;
    for (std::size_t i = all.size() > lines ? all.size() - lines : 0; i < all.size(); ++i)
        tail += all[i] + "\n";
    return tail;
}

CupsServer *sharedCupsServer(std::string &why) {
    static std::unique_ptr<CupsServer> server;
    if (!server)
        server = std::make_unique<CupsServer>();
    return server->start(why) ? server.get() : nullptr;
}

void CupsTest::SetUp() {
    if (!CupsServer::installed()) {
        if (std::getenv("CI"))
            FAIL() << CupsServer::kDaemon << " is missing on CI (scripts/install-deps.sh "
                   << "installs cups-daemon)";
        GTEST_SKIP() << "\n*** SKIPPED: " << CupsServer::kDaemon << " is not installed, so "
                     << "the print-queue tests cannot run (scripts/install-deps.sh installs "
                     << "cups-daemon) ***\n";
    }
    std::string why;
    m_server = sharedCupsServer(why);
    ASSERT_NE(m_server, nullptr) << "the private cupsd did not start: " << why;
}

void NamedQueueTest::addQueue(int devicePort) {
    queue = testing::UnitTest::GetInstance()->current_test_info()->name();
    std::string why;
    ASSERT_TRUE(cups().addQueue(queue, devicePort, why)) << why;
}

void QueueTest::SetUp() {
    NamedQueueTest::SetUp();
    if (IsSkipped() || HasFatalFailure())
        return;
    addQueue(printer.port());
}

void EmptyCupsTest::SetUp() {
    CupsTest::SetUp();
    if (IsSkipped() || HasFatalFailure())
        return;
    std::string why;
    ASSERT_TRUE(cups().removeAllQueues(why)) << why;
}

} // namespace testing_support
