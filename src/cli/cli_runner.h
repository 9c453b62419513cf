// The whole command line program as a function, so tests run it in-process.
#pragma once

#include <string>
#include <vector>

#include "cli/cli_context.h"

namespace vistrel::cli {

// Parses `args` (without the program name), runs the command and returns the exit status.
// Usage errors go to env.err with a pointer to --help.
int RunCli(const std::vector<std::string>& args, CliEnvironment& env);

}  // namespace vistrel::cli
