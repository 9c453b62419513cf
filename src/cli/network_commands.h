// The commands that talk to projectors: discover, status, power, source, group set, query
// and send. Each returns the program's exit status.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "cli/cli_context.h"
#include "cli/listing.h"
#include "protocol/console.h"

namespace vistrel::cli {

// Broadcasts probes (every second) and records every answer in the console's table until
// `wait` has passed or `done` (checked after each round of answers) says enough. False,
// with the reason printed, when discovery cannot run at all.
// `failure`, when given, receives the reason.
bool CollectByBroadcast(const CliContext& context, Console& console, std::chrono::milliseconds wait,
                        const std::function<bool()>& done = {}, std::string* failure = nullptr);

// The identities of projectors given by address, by a probe to each. Best effort: an address
// that does not answer is missing from the result.
std::map<std::string, std::string> IdentifyByProbe(const CliContext& context,
                                                   const std::vector<std::string>& ips,
                                                   std::chrono::milliseconds wait);

// Adds a group that projectors were moved into to the console's group list, as the window
// would show it; problems are reported on standard error. Nothing for the empty name.
void RememberGroup(const CliContext& context, const std::string& groupName);

// Puts a listing's rows in the order their addresses (column `ipColumn`) were given, when
// they were given.
void OrderAsGiven(const CliContext& context, std::vector<std::vector<Cell>>& rows, size_t ipColumn);

int RunDiscover(const CliContext& context);
int RunStatus(const CliContext& context);
int RunPower(const CliContext& context);
int RunSource(const CliContext& context);
int RunGroupSet(const CliContext& context);
int RunQuery(const CliContext& context);
int RunSend(const CliContext& context);
// health, and health --check with the monitoring systems' exit codes.
int RunHealth(const CliContext& context);

}  // namespace vistrel::cli
