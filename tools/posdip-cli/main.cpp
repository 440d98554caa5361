// posdip-cli: the window's setting actions from a command line, for one printer or many.
#include "commands.h"

#include <unistd.h>

#include <iostream>

int main(int argc, char **argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const cli::Io io{std::cout, std::cerr, std::cin, isatty(STDERR_FILENO) == 1};
    return cli::runCli(args, io, device::libraryPosdll());
}
