// Runs the built posdip-cli as a child process and collects what it printed and its status.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

extern char **environ;

namespace cli_test {

struct CliRun {
    int status = -1; // exit status, or -1 when it did not exit by itself
    std::string out;
    std::string err;
};

struct CliSetup {
    std::string input;              // standard input
    std::vector<std::string> env;   // extra "NAME=value" entries
    bool stderrIsTerminal = false;  // standard error on a pseudo-terminal instead of a pipe
    std::chrono::seconds limit{60}; // the child is killed after this
};

inline CliRun runCliBinary(const std::vector<std::string> &args, const CliSetup &setup = {}) {
    const std::string &input = setup.input;
    int inPipe[2], outPipe[2], errPipe[2];
    if (::pipe2(inPipe, O_CLOEXEC) || ::pipe2(outPipe, O_CLOEXEC))
        return {};
    if (setup.stderrIsTerminal) {
        if (::openpty(&errPipe[0], &errPipe[1], nullptr, nullptr, nullptr) != 0)
            return {};
        ::fcntl(errPipe[0], F_SETFD, FD_CLOEXEC);
        ::fcntl(errPipe[1], F_SETFD, FD_CLOEXEC);
    } else if (::pipe2(errPipe, O_CLOEXEC)) {
        return {};
    }
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, inPipe[0], 0);
    posix_spawn_file_actions_adddup2(&fa, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&fa, errPipe[1], 2);

    std::vector<std::string> words{POSDIP_CLI_PATH};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (auto &w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    std::vector<std::string> envWords(setup.env);
    for (char **e = environ; *e; ++e)
        envWords.emplace_back(*e);
    std::vector<char *> envp;
    for (auto &w : envWords)
        envp.push_back(w.data());
    envp.push_back(nullptr);

    pid_t pid = -1;
    const int rc = posix_spawn(&pid, POSDIP_CLI_PATH, &fa, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&fa);
    ::close(inPipe[0]);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    CliRun run;
    if (rc != 0) {
        ::close(inPipe[1]);
        ::close(outPipe[0]);
        ::close(errPipe[0]);
        return run;
    }
    signal(SIGPIPE, SIG_IGN);
    (void)!::write(inPipe[1], input.data(), input.size());
    ::close(inPipe[1]);

    const auto deadline = std::chrono::steady_clock::now() + setup.limit;
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string *sinks[2] = {&run.out, &run.err};
    int open = 2;
    while (open > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0 || ::poll(fds, 2, static_cast<int>(left)) <= 0) {
            ::kill(pid, SIGKILL);
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !fds[i].revents)
                continue;
            char buf[4096];
            const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                sinks[i]->append(buf, static_cast<std::size_t>(n));
            } else { // end of a pipe, or EIO from a terminal whose other side closed
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (auto &f : fds)
        if (f.fd >= 0)
            ::close(f.fd);
    int wstatus = 0;
    ::waitpid(pid, &wstatus, 0);
    run.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    return run;
}

} // namespace cli_test
