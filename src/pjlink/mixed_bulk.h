// Bulk commands to ticked rows of both kinds: the PJLink rows are taken out and sent their
// own commands through the PJLink monitor; the rest goes on to the HTTP batch as before.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "pjlink/pjlink_monitor.h"

namespace vistrel::pjlink {

enum class BulkAction { PowerOn, PowerOff, Source };

struct BulkTarget {
    std::string mac;  // the table key
    std::string ip;
};

// The action a command body for the console's own projectors stands for ("command=~0000 1"
// is PowerOn; a source row's command is Source with that row's label); nullopt for any other.
struct BodyAction {
    BulkAction action;
    std::string source;
};
std::optional<BodyAction> ActionForBody(std::string_view body);

// The PJLink lines of an action for one projector; empty with `skipped` set when it cannot
// carry it out (a source it has no input for).
std::vector<std::string> BulkLines(BulkAction action, std::string_view source,
                                   const std::optional<Status>& status, std::string& skipped);

// Sends the action to the PJLink targets among `targets` and returns the others, in order.
// `done` runs once with the PJLink results (skipped ones included, not ok), on an engine
// thread or at once.
std::vector<BulkTarget> SendPjlinkPart(Monitor& monitor, const std::vector<BulkTarget>& targets,
                                       BulkAction action, std::string_view source,
                                       std::function<void(std::vector<CommandResult>)> done);

// "Source HDMI skipped on 10.1.2.3 (no such input)" lines for the results that were not
// carried out; empty when all were.
std::string DescribeFailures(const std::vector<CommandResult>& results);

}  // namespace vistrel::pjlink
