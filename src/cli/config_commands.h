// The console's stored configuration from the shell: "config broadcast list|add|remove"
// and "config health".
#pragma once

#include "cli/cli_context.h"

namespace vistrel::cli {

int RunConfigBroadcast(const CliContext& context);
// Shows the health thresholds after storing those given.
int RunConfigHealth(const CliContext& context);

}  // namespace vistrel::cli
