// posdip-cli: the window's setting actions from a command line, for one printer or many.
#include "batch/descriptor_limit.h"
#include "commands.h"
#include "progress.h"

#include "posdll/program_start.h"

#include <csignal>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <new>

int main(int argc, char **argv) try {
    posdll::openMissingStandardDescriptors();
    // A closed reader of standard output shows as EPIPE on the write, which is reported.
    std::signal(SIGPIPE, SIG_IGN);
    batch::raiseDescriptorLimit();
    const std::vector<std::string> args(argv + 1, argv + argc);
    const bool errIsTerminal = isatty(STDERR_FILENO) == 1;
    const cli::Io io{std::cout,
                     std::cerr,
                     std::cin,
                     cli::takesEscapes(errIsTerminal, std::getenv("TERM")),
                     isatty(STDOUT_FILENO) == 1,
                     true,
                     errIsTerminal};
    const int status = cli::runCli(args, io, device::libraryPosdll());
    errno = 0;
    if (!std::cout.flush() && status != cli::kExitIncomplete)
        return cli::outputFailed(io, errno);
    return status;
} catch (const std::bad_alloc &) {
    posdll::reportOutOfMemory("posdip-cli");
    return cli::kExitIncomplete;
}
