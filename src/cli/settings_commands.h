// "vistrel-cli get", "settings --list", "export" and "import": the settings pages' settings
// read, listed and copied by name.
#pragma once

#include <optional>
#include <string_view>

#include "cli/cli_context.h"
#include "protocol/setting_catalog.h"

namespace vistrel::cli {

int RunGet(const CliContext& context);
int RunSettingsList(const CliContext& context);
int RunExport(const CliContext& context);
int RunImport(const CliContext& context);

// The part of an import a setting belongs to ("picture", "display", "settings", and
// "identity" for the projector ID, which names one projector); nullopt for what an import
// never copies: live state (power, source, freeze, AV mute) and actions.
std::optional<std::string_view> ImportPart(const SettingDef& def);

}  // namespace vistrel::cli
