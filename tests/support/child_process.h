// A program run as a child process by a test: started with posix_spawn, killed and reaped when
// the test is done with it.
#pragma once

#include <chrono>
#include <csignal>
#include <functional>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char **environ;

namespace testing_support {

class ChildProcess {
  public:
    // Says which descriptors the child gets, on the spawn's file actions.
    using Redirect = std::function<void(posix_spawn_file_actions_t &)>;

    // Starts argv[0] (looked up on PATH when it has no slash) with the test's environment and
    // the extra "NAME=value" entries before it.
    ChildProcess(std::vector<std::string> argv, const Redirect &redirect,
                 const std::vector<std::string> &extraEnv = {}) {
        std::vector<char *> args;
        for (std::string &a : argv)
            args.push_back(a.data());
        args.push_back(nullptr);
        std::vector<std::string> envWords(extraEnv);
        for (char **e = environ; *e; ++e)
            envWords.emplace_back(*e);
        std::vector<char *> envp;
        for (std::string &w : envWords)
            envp.push_back(w.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        redirect(fa);
        m_spawnError = ::posix_spawnp(&m_pid, args[0], &fa, nullptr, args.data(), envp.data());
        if (m_spawnError != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&fa);
    }
    ~ChildProcess() {
        if (running()) {
            ::kill(m_pid, SIGKILL);
            waitStatus();
        }
    }
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    bool started() const { return m_pid > 0; }
    int spawnError() const { return m_spawnError; } // an errno value, 0 when it started
    pid_t pid() const { return m_pid; }
    bool running() const { return started() && !m_status; }
    void signal(int number) const {
        if (running())
            ::kill(m_pid, number);
    }

    // The raw wait status once the child ended; blocks until it does.
    int waitStatus() {
        while (running()) {
            int status = 0;
            if (::waitpid(m_pid, &status, 0) == m_pid)
                m_status = status;
        }
        return m_status.value_or(-1);
    }
    // The raw wait status, or nullopt when the child did not end within the bound.
    std::optional<int> waitStatusWithin(std::chrono::milliseconds bound) {
        const auto deadline = std::chrono::steady_clock::now() + bound;
        while (running() && std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid)
                m_status = status;
            else
                ::poll(nullptr, 0, 10);
        }
        return m_status;
    }

  private:
    pid_t m_pid = -1;
    int m_spawnError = 0;
    std::optional<int> m_status;
};

} // namespace testing_support
