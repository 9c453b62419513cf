// "vistrel-cli set NAME=VALUE... TARGET..." and "alert-test": settings of many projectors at
// once, each projector's record built from its own current values and the names given. The
// same engine applies what "import" takes from a file.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_context.h"

namespace vistrel::cli {

int RunSet(const CliContext& context);
int RunAlertTest(const CliContext& context);

// What one projector went through.
struct ProjectorRow {
    std::string ip;
    std::optional<Outcome> failure;
    std::string newIp;
    std::string note;      // why it failed when the outcome alone does not say
    size_t applied = 0;    // settings and records it carried out
    std::string failedAt;  // the setting or record it stopped at
};

std::vector<ProjectorRow> RowsFor(const std::vector<std::string>& ips);

// Settings to give projectors, checked before they get here.
struct SettingsPlan {
    // Sent in this order (records go out after the page settings, the network last).
    std::vector<SettingAssignment> assignments;
    // The value of every assignment by name, secrets read.
    std::map<std::string, std::string> values;
    // The names of the "set=group" record; one not given keeps the projector's own.
    std::optional<std::string> groupName;
    std::optional<std::string> projectorName;
};

// Applies the plan to every row's projector at once, one setting or record at a time; a
// projector that refuses one, or whose model does not offer a value, gets no more (nothing
// at all in the second case). With ip= the one row's projector is followed to its new
// address. Returns kExitUsage when discovery could not be opened to follow it, else kExitOk;
// each row tells how its projector fared.
int ApplySettings(const CliContext& context, const SettingsPlan& plan,
                  std::vector<ProjectorRow>& rows);

// Reads one password given as "-" (a line of standard input) or "@FILE" (the file's first
// line) into `value`. False, with the reason printed, when it cannot be read or does not fit
// a `maxBytes` field.
bool ReadSecret(const CliContext& context, const std::string& name, const std::string& source,
                size_t maxBytes, std::string& value);

}  // namespace vistrel::cli
