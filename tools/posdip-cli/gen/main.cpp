// posdip-cli-gen TEMPLATE OUTDIR: writes posdip-cli's bash and zsh completions and its manual
// page, generated from the option table the program itself parses with.
#include "generated_files.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>

namespace {

void writeFile(const std::string &path, const std::string &text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!(out << text) || !out.flush())
        throw std::runtime_error(path + ": " + std::strerror(errno));
}

} // namespace

int main(int argc, char **argv) try {
    if (argc != 3) {
        std::cerr << "usage: posdip-cli-gen TEMPLATE OUTDIR\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::stringstream manTemplate;
    if (!(manTemplate << in.rdbuf()))
        throw std::runtime_error(std::string(argv[1]) + ": " + std::strerror(errno));
    const std::string dir = argv[2];
    writeFile(dir + "/posdip-cli.bash", cli::gen::bashCompletion());
    writeFile(dir + "/_posdip-cli", cli::gen::zshCompletion());
    writeFile(dir + "/posdip-cli.1", cli::gen::manPage(manTemplate.str()));
    return 0;
} catch (const std::exception &e) {
    std::cerr << "posdip-cli-gen: " << e.what() << "\n";
    return 1;
}
