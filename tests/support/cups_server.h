// A private CUPS scheduler for tests: its own configuration, spool, cache, state and log folders
// under a temporary folder, listening on 127.0.0.1 only on a free port, with browsing, sharing
// and the web interface off and no authentication. Once it runs, libcups and the CUPS tools that
// this process starts talk to it (CUPS_SERVER), never to the machine's own scheduler.
#pragma once

#include "support/posix_peers.h"
#include "support/tcp_listener.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

namespace testing_support {

struct QueuedJob {
    int id = 0;
    std::string title;
    std::string format;
    int state = 0; // an ipp_jstate_t
};

class CupsServer {
  public:
    static constexpr const char *kDaemon = "/usr/sbin/cupsd";
    static bool installed();

    CupsServer();
    ~CupsServer();
    CupsServer(const CupsServer &) = delete;
    CupsServer &operator=(const CupsServer &) = delete;

    // Starts the daemon in the foreground as a child (again on the same port after stop()) and
    // waits, bounded, until it answers; then sets CUPS_SERVER, CUPS_SERVERROOT and HOME. The
    // daemon dies with the thread that started it, so call this from the test's main thread.
    bool start(std::string &why);
    // Ends the daemon (SIGTERM, then SIGKILL after a bounded wait).
    void stop();
    bool running();
    // SIGSTOP: connections are still taken by the kernel but nothing answers them.
    void pause();
    void resume();
    bool paused() const { return m_paused; }

    int port() const { return m_port; }
    std::string address() const; // "127.0.0.1:PORT"

    // A queue whose device is socket://127.0.0.1:devicePort, enabled and accepting jobs:
    // without driver, or with the driver that the PPD file describes.
    bool addQueue(const std::string &name, int devicePort, std::string &why,
                  const std::string &ppdFile = {});
    bool removeAllQueues(std::string &why);
    // Every job the queue has seen, completed ones included, oldest first.
    std::vector<QueuedJob> jobs(const std::string &queue);
    // The same once every job has ended (cancelled, aborted or completed), waited for at most
    // `limit`; whatever the jobs are then when they do not end in time.
    std::vector<QueuedJob> endedJobs(const std::string &queue,
                                     std::chrono::seconds limit = std::chrono::seconds(20));

    std::string logTail(std::size_t lines = 30) const;

  private:
    void writeConfig() const;
    bool spawn(std::string &why);
    bool waitUntilAnswering(std::string &why);

    std::filesystem::path m_root;
    int m_port = 0;
    pid_t m_pid = -1;
    bool m_paused = false;
};

// The print server's waits cut short, for this process and the programs it starts, while a
// test makes the server fall silent: the bound is proved without waiting out the default. A
// server that must still answer some requests in time is given a longer wait.
class ShortServerWaits {
  public:
    explicit ShortServerWaits(int millis = 300)
        : m_env("POSDLL_PRINT_SERVER_MILLIS", std::to_string(millis)) {}

  private:
    ScopedEnv m_env;
};

// The one scheduler of this test program: started on first use, started again when a test left
// it stopped or paused, ended at exit. Null with the reason when it cannot start.
CupsServer *sharedCupsServer(std::string &why);

// Base for tests that need the scheduler. Skips, loudly, only where cupsd is not installed and
// this is not CI; a daemon that is installed but does not start is a failure.
class CupsTest : public ::testing::Test {
  protected:
    void SetUp() override;
    CupsServer &cups() { return *m_server; }

  private:
    CupsServer *m_server = nullptr;
};

// The same, for tests that add a queue of their own, named after the test.
class NamedQueueTest : public CupsTest {
  protected:
    // Adds the queue in front of 127.0.0.1:devicePort.
    void addQueue(int devicePort);

    std::string queue;
};

// The same, with the queue added in front of a listener of its own.
class QueueTest : public NamedQueueTest {
  protected:
    void SetUp() override;

    TcpListener printer;
};

// The same, with every queue an earlier test left removed first.
class EmptyCupsTest : public CupsTest {
  protected:
    void SetUp() override;
};

} // namespace testing_support
