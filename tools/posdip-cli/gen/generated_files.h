// The files generated from posdip-cli's option and subcommand tables at build time.
#pragma once

#include <string>

namespace cli::gen {

std::string bashCompletion();
std::string zshCompletion();
// The manual page from its hand-written template, with the lines ".\" GENERATED SYNOPSIS" and
// ".\" GENERATED OPTIONS" replaced; throws std::runtime_error when one is missing.
std::string manPage(const std::string &manTemplate);

} // namespace cli::gen
