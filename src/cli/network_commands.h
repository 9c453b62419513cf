// The commands that talk to projectors: discover, status, power, source, group set, query
// and send. Each returns the program's exit status.
#pragma once

#include "cli/cli_context.h"

namespace vistrel::cli {

int RunDiscover(const CliContext& context);
int RunStatus(const CliContext& context);
int RunPower(const CliContext& context);
int RunSource(const CliContext& context);
int RunGroupSet(const CliContext& context);
int RunQuery(const CliContext& context);
int RunSend(const CliContext& context);

}  // namespace vistrel::cli
