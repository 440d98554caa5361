// posdip-emulator run as a child process, with its output read line by line within bounds.
#pragma once

#include "support/child_process.h"
#include "support/posix_peers.h"
// Relative: every test that runs the emulator can read its output, whatever its include path.
#include "../../tools/posdip-emulator/page.h"

#include <string>
#include <vector>

namespace testing_support {

// Runs the emulator as the user nobody, so a test running as root meets a real "permission
// denied": the words that go before the emulator's own.
inline std::vector<std::string> nobodyRunner() {
    if (::geteuid() != 0)
        return {};
    return {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
}

class EmulatorProcess {
  public:
    // runner: a program that runs the emulator, with its arguments (nobodyRunner()).
    explicit EmulatorProcess(std::vector<std::string> args, std::vector<std::string> runner = {})
        : m_child(withProgram(std::move(args), std::move(runner)),
                  [this](posix_spawn_file_actions_t &fa) {
                      int out[2] = {-1, -1};
                      int err[2] = {-1, -1};
                      if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
                          return;
                      m_out.reset(out[0]);
                      m_err.reset(err[0]);
                      m_childOut.reset(out[1]);
                      m_childErr.reset(err[1]);
                      posix_spawn_file_actions_adddup2(&fa, out[1], 1);
                      posix_spawn_file_actions_adddup2(&fa, err[1], 2);
                  }) {
        m_childOut.reset(); // the child holds its own copies now
        m_childErr.reset();
    }

    pid_t pid() const { return m_child.pid(); }

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
    // Waits for a status line that contains the text, passing over others; false when none
    // comes within the bound.
    bool says(const std::string &text) {
        for (std::string line; !(line = statusLine()).empty();)
            if (line.find(text) != std::string::npos)
                return true;
        return false;
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
        const std::optional<int> status = m_child.waitStatusWithin(bound);
        if (!status)
            return -1;
        return WIFEXITED(*status) ? WEXITSTATUS(*status) : 128 + WTERMSIG(*status);
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

    static std::vector<std::string> withProgram(std::vector<std::string> args,
                                                std::vector<std::string> runner) {
        args.insert(args.begin(), POSDIP_EMULATOR);
        args.insert(args.begin(), runner.begin(), runner.end());
        return args;
    }

    Fd m_out;
    Fd m_err;
    Fd m_childOut;
    Fd m_childErr;
    std::string m_outBuf;
    std::string m_errBuf;
    ChildProcess m_child; // last: ended before its pipes close
};

// posdip-emulator on a free port of 127.0.0.1, with the given further options.
struct LoopbackEmulator {
    explicit LoopbackEmulator(std::vector<std::string> options,
                              std::vector<std::string> runner = {})
        : emu(withListen(std::move(options)), std::move(runner)), address(emu.listeningAddress()) {}

    EmulatorProcess emu;
    std::string address; // "" when it did not start listening

  private:
    static std::vector<std::string> withListen(std::vector<std::string> options) {
        options.insert(options.begin(), {"--listen", "127.0.0.1:0"});
        return options;
    }
};

} // namespace testing_support
