// The commands of vistrel-cli, each family registering itself with the command tree. To add a
// command, copy the registration of a similar one (config_cli.cpp is the smallest), declare
// its function here and call it in CommandTree's constructor where it belongs in the help.
#pragma once

#include "cli/cli_command.h"

namespace vistrel::cli {

// --json, --csv, --timeout, --broadcast, --bind, the ports, --app-name, --store.
void AddSharedOptions(CommandTree& tree);
// Checks the shared options, --wait and the target selection, and fills `options`.
void ApplySharedOptions(const CommandTree& tree, const CliCommand& command, CliOptions& options);

// discover, status, power, source, group set, query, send.
void AddProjectorCommands(CommandTree& tree);
// health, health --check.
void AddHealthCommands(CommandTree& tree);
// set, get, settings, export, import, alert-test.
void AddSettingsCommands(CommandTree& tree);
// schedule list, schedule set, run-schedules.
void AddScheduleCommands(CommandTree& tree);
// pjlink add, remove, list, scan, password.
void AddPjlinkCommands(CommandTree& tree);
// config broadcast, config health.
void AddConfigCommands(CommandTree& tree);
// completion, help, and the program's own help text.
void AddHelpCommands(CommandTree& tree);

// The handler of help, --version and completion: prints the options' text.
int PrintText(const CliContext& context);

}  // namespace vistrel::cli
