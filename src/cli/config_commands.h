// The console's stored configuration from the shell: "config broadcast list|add|remove".
#pragma once

#include "cli/cli_context.h"

namespace vistrel::cli {

int RunConfigBroadcast(const CliContext& context);

}  // namespace vistrel::cli
