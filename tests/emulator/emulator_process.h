// posdip-emulator run as a child process, with its output read line by line within bounds.
#pragma once

#include "support/posix_peers.h"
// Relative: every test that runs the emulator can read its output, whatever its include path.
#include "../../tools/posdip-emulator/page.h"

#include <csignal>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace testing_support {

class EmulatorProcess {
  public:
    explicit EmulatorProcess(std::vector<std::string> args) {
        int out[2];
        int err[2];
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, out[1], 1);
        posix_spawn_file_actions_adddup2(&fa, err[1], 2);
        args.insert(args.begin(), POSDIP_EMULATOR);
        std::vector<char *> argv;
        for (std::string &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (::posix_spawn(&m_pid, POSDIP_EMULATOR, &fa, nullptr, argv.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&fa);
        ::close(out[1]);
        ::close(err[1]);
        m_out.reset(out[0]);
        m_err.reset(err[0]);
    }
    ~EmulatorProcess() {
        if (m_pid > 0 && !m_exited) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    EmulatorProcess(const EmulatorProcess &) = delete;
    EmulatorProcess &operator=(const EmulatorProcess &) = delete;

    pid_t pid() const { return m_pid; }

    // The next line of standard output about a frame, "" when none comes within the bound.
    // Lines of a printed page on the way are passed over.
    std::string frameLine(milliseconds bound = milliseconds(10000)) {
        for (;;) {
            std::string line = outputLine(bound);
            if (line.rfind(emulator::kPageMargin, 0) != 0)
                return line;
        }
    }
    // The next line of standard output, whatever it is.
    std::string outputLine(milliseconds bound = milliseconds(10000)) {
        return nextLine(m_out.get(), m_outBuf, bound);
    }
    // The next line of standard error (what the emulator does).
    std::string statusLine(milliseconds bound = milliseconds(10000)) {
        return nextLine(m_err.get(), m_errBuf, bound);
    }
    // The address from its first status line, "posdip-emulator: listening on 127.0.0.1:40123";
    // "" when it says something else.
    std::string listeningAddress() {
        const std::string line = statusLine();
        const std::string mark = "listening on ";
        const auto at = line.find(mark);
        return at == std::string::npos ? "" : line.substr(at + mark.size());
    }
    // Everything left on standard output until the process closes it.
    std::string restOfOutput() {
        const Bytes b = readUntilEof(m_out.get());
        return m_outBuf + std::string(b.begin(), b.end());
    }

    // The exit status, or -1 when it did not end within the bound.
    int exitStatus(milliseconds bound = milliseconds(10000)) {
        const auto deadline = std::chrono::steady_clock::now() + bound;
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_exited = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            ::poll(nullptr, 0, 10);
        }
        return -1;
    }

  private:
    static std::string nextLine(int fd, std::string &buf, milliseconds bound) {
        const auto deadline = std::chrono::steady_clock::now() + bound;
        for (;;) {
            if (const auto nl = buf.find('\n'); nl != std::string::npos) {
                std::string line = buf.substr(0, nl);
                buf.erase(0, nl + 1);
                return line;
            }
            const auto left = std::chrono::duration_cast<milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd p{fd, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0)
                return "";
            char chunk[1024];
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n <= 0)
                return "";
            buf.append(chunk, static_cast<std::size_t>(n));
        }
    }

    pid_t m_pid = -1;
    bool m_exited = false;
    OwnedFd m_out;
    OwnedFd m_err;
    std::string m_outBuf;
    std::string m_errBuf;
};

} // namespace testing_support
