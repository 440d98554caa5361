// A program run as a child process by a test: started with posix_spawn, killed and reaped when
// the test is done with it.
#pragma once

#include "posdll/fd.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
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

struct ToolRun {
    int status = -1;    // exit status; -1 when it was killed or could not start
    std::string output; // standard output and error together
    bool ok() const { return status == 0; }
};

// The path of a program on PATH or in the system folders; the name itself when none has it.
inline std::string findProgram(const std::string &name) {
    if (name.find('/') != std::string::npos)
        return name;
    std::string dirs = std::getenv("PATH") ? std::getenv("PATH") : "";
    dirs += ":/usr/sbin:/sbin:/usr/bin:/bin";
    std::istringstream in(dirs);
    for (std::string dir; std::getline(in, dir, ':');)
        if (!dir.empty() && ::access((dir + "/" + name).c_str(), X_OK) == 0)
            return dir + "/" + name;
    return name;
}

// Runs a program (found in PATH, /usr/sbin or /sbin) with this process's environment and kills
// it when it outlives the limit.
inline ToolRun runTool(const std::vector<std::string> &argv,
                       std::chrono::seconds limit = std::chrono::seconds(20)) {
    ToolRun run;
    if (argv.empty())
        return run;
    std::vector<std::string> words(argv);
    words[0] = findProgram(argv[0]);
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        run.output = std::string("pipe: ") + std::strerror(errno);
        return run;
    }
    const posdll::Fd output(out[0]);
    posdll::Fd childOutput(out[1]);
    const posdll::Fd devnull(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    ChildProcess child(std::move(words), [&](posix_spawn_file_actions_t &fa) {
        posix_spawn_file_actions_adddup2(&fa, devnull.get(), 0);
        posix_spawn_file_actions_adddup2(&fa, childOutput.get(), 1);
        posix_spawn_file_actions_adddup2(&fa, childOutput.get(), 2);
    });
    childOutput.reset(); // the child holds its own copy now
    if (!child.started()) {
        run.output = "cannot start " + argv[0] + ": " + std::strerror(child.spawnError());
        return run;
    }
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        pollfd p{output.get(), POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) == 0) {
            child.signal(SIGKILL);
            run.output +=
                "\n[" + argv[0] + " killed after " + std::to_string(limit.count()) + " s]";
            break;
        }
        char buf[4096];
        const ssize_t n = ::read(output.get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        run.output.append(buf, static_cast<std::size_t>(n));
    }
    // One that closed its output but went on running is killed as the child goes.
    if (const std::optional<int> status = child.waitStatusWithin(std::chrono::seconds(5)))
        run.status = WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
    return run;
}

} // namespace testing_support
