// Turning identities, --group, --ticked and --all into projector addresses, through
// discovery (and the store for the window's ticks).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "cli/cli_context.h"

namespace vistrel::cli {

struct ResolvedTargets {
    bool discoveryRan = false;
    bool discoveryFailed = false;  // the socket could not be opened; the reason is printed
    std::vector<std::string> ips;  // given addresses first, then the resolved ones
    std::map<std::string, std::string> macByIp;
    std::vector<std::string> notFound;  // what was asked for and did not answer, as given
};

// How long discovery collects answers before the selection is made.
inline constexpr std::chrono::milliseconds kTargetDiscoveryWait{2000};

ResolvedTargets ResolveTargets(const CliContext& context);

}  // namespace vistrel::cli
