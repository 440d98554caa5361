// Runs the built posdip-cli as a child process and collects what it printed and its status.
#pragma once

#include "support/child_process.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace cli_test {

struct CliRun {
    int status = -1; // exit status, or -1 when it did not exit by itself
    std::string out;
    std::string err;
};

// A signal for the child once its standard output holds `seen` (from the start when empty),
// `after` later.
struct SignalLater {
    int number;
    std::string seen;
    std::chrono::milliseconds after{0};
};

struct CliSetup {
    std::string program = POSDIP_CLI_PATH; // what runs, given the words
    std::string input;                     // standard input
    std::vector<std::string> env;          // extra "NAME=value" entries
    bool stderrIsTerminal = false;         // standard error on a pseudo-terminal instead of a pipe
    bool stdoutIsTerminal = false;         // standard output on a pseudo-terminal instead of a pipe
    std::chrono::seconds limit{60};        // the child is killed after this
    std::vector<std::string>
        wrapper; // a program that runs posdip-cli, e.g. prlimit and its options
    std::optional<std::string> stdoutFile; // standard output opened on this file
    bool stdoutClosed = false;             // standard output closed, as with >&-
    std::size_t readerQuitsAfter =
        std::string::npos; // our end of the pipe closes after so many bytes
    std::vector<SignalLater> signals;
};

// A pipe, or a pseudo-terminal (reading end first), both close-on-exec.
inline bool makeChannel(int ends[2], bool terminal) {
    if (!terminal)
        return ::pipe2(ends, O_CLOEXEC) == 0;
    if (::openpty(&ends[0], &ends[1], nullptr, nullptr, nullptr) != 0)
        return false;
    ::fcntl(ends[0], F_SETFD, FD_CLOEXEC);
    ::fcntl(ends[1], F_SETFD, FD_CLOEXEC);
    return true;
}

inline CliRun runCliBinary(const std::vector<std::string> &args, const CliSetup &setup = {}) {
    const std::string &input = setup.input;
    int inPipe[2], outPipe[2], errPipe[2];
    if (::pipe2(inPipe, O_CLOEXEC) || !makeChannel(outPipe, setup.stdoutIsTerminal) ||
        !makeChannel(errPipe, setup.stderrIsTerminal))
        return {};
    std::vector<std::string> words(setup.wrapper);
    words.push_back(setup.program);
    words.insert(words.end(), args.begin(), args.end());
    testing_support::ChildProcess child(
        std::move(words),
        [&](posix_spawn_file_actions_t &fa) {
            posix_spawn_file_actions_adddup2(&fa, inPipe[0], 0);
            if (setup.stdoutClosed)
                posix_spawn_file_actions_addclose(&fa, 1);
            else if (setup.stdoutFile)
                posix_spawn_file_actions_addopen(&fa, 1, setup.stdoutFile->c_str(), O_WRONLY, 0);
            else
                posix_spawn_file_actions_adddup2(&fa, outPipe[1], 1);
            posix_spawn_file_actions_adddup2(&fa, errPipe[1], 2);
        },
        setup.env);
    ::close(inPipe[0]);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    CliRun run;
    if (!child.started()) {
        ::close(inPipe[1]);
        ::close(outPipe[0]);
        ::close(errPipe[0]);
        return run;
    }
    signal(SIGPIPE, SIG_IGN);
    (void)!::write(inPipe[1], input.data(), input.size());
    ::close(inPipe[1]);

    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + setup.limit;
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string *sinks[2] = {&run.out, &run.err};
    int open = 2;
    std::size_t nextSignal = 0;
    constexpr auto kNone = Clock::time_point::max();
    auto signalAt = kNone; // when the next signal is due
    while (open > 0) {
        if (nextSignal < setup.signals.size() && signalAt == kNone &&
            run.out.find(setup.signals[nextSignal].seen) != std::string::npos)
            signalAt = Clock::now() + setup.signals[nextSignal].after;
        if (Clock::now() >= signalAt) {
            child.signal(setup.signals[nextSignal++].number);
            signalAt = kNone;
            continue;
        }
        const auto until = std::min(deadline, signalAt);
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
        if (Clock::now() >= deadline) {
            child.signal(SIGKILL);
            break;
        }
        const int ready = ::poll(fds, 2, static_cast<int>(std::max<long long>(left, 0)));
        if (ready < 0) {
            child.signal(SIGKILL);
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !fds[i].revents)
                continue;
            char buf[4096];
            const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
            if (n > 0)
                sinks[i]->append(buf, static_cast<std::size_t>(n));
            if (n <= 0 ||
                (i == 0 &&
                 run.out.size() >= setup.readerQuitsAfter)) { // end of a pipe, or EIO from a
                                                              // terminal whose other side closed
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (auto &f : fds)
        if (f.fd >= 0)
            ::close(f.fd);
    const int wstatus = child.waitStatus();
    run.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    return run;
}

// Writes a file of the given text in the test's temporary folder; its path.
inline std::string writeFile(const std::string &name, const std::string &text) {
    const std::string path = ::testing::TempDir() + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

} // namespace cli_test
