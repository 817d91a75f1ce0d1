// The manual inside the program: the tool's overview and one page per
// command, printed by --help.
#pragma once

#include <string>

#include "cli/CommandLine.h"

namespace vz::cli {

std::string ToolHelp();
std::string CommandHelp(TCommandKind command);
std::string VersionText();

}  // namespace vz::cli
