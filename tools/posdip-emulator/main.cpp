// posdip-emulator: a receipt printer that explains every command frame it receives.
#include "emulator.h"

#include "posdll/program_start.h"

#include <cstdio>
#include <new>

int main(int argc, char **argv) try {
    posdll::openMissingStandardDescriptors();
    std::string why;
    const auto options =
        emulator::parseOptions(std::vector<std::string>(argv + 1, argv + argc), &why);
    if (!options) {
        std::fprintf(stderr, "posdip-emulator: %s\n", why.c_str());
        return 2;
    }
    if (options->version) {
        std::printf("posdip-emulator %s\n", POSDIP_VERSION);
        return 0;
    }
    if (options->help) {
        std::fputs(emulator::usage().c_str(), stdout);
        return 0;
    }
    return emulator::run(*options);
} catch (const std::bad_alloc &) {
    posdll::reportOutOfMemory("posdip-emulator");
    return 1;
}
