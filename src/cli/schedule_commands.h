// The commands on the stored power tasks: schedule list, schedule set and run-schedules.
#pragma once

#include "cli/cli_context.h"

namespace vistrel::cli {

int RunScheduleList(const CliContext& context);
int RunScheduleSet(const CliContext& context);
int RunSchedulesHeadless(const CliContext& context);

}  // namespace vistrel::cli
