// "vistrel-cli set NAME=VALUE... TARGET..." and "alert-test": settings of many projectors at
// once, each projector's record built from its own current values and the names given.
#pragma once

#include "cli/cli_context.h"

namespace vistrel::cli {

int RunSet(const CliContext& context);
int RunAlertTest(const CliContext& context);

}  // namespace vistrel::cli
