// The --help texts and the one-line hint after a usage error.
#pragma once

#include "cli_args.h"

#include <optional>
#include <string>

namespace cli {

std::string helpText(std::optional<Subcommand> sub);
// The overview's line about sub: "enable the DIP switch".
std::string subcommandSummary(Subcommand sub);
// "Try 'posdip-cli store --help'."
std::string usageHint(std::optional<Subcommand> sub);
std::string versionText();

} // namespace cli
