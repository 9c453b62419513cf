// The directed broadcast addresses the console probes besides the limited broadcast, so
// that projectors in other subnets are found. Kept as one text value of the application key.
#pragma once

#include <string>
#include <vector>

#include "store/reg_store.h"

namespace vistrel {

// Value name under the application key; addresses separated by blanks.
inline constexpr std::string_view kDirectedBroadcastValue = "DirectedBroadcast";

// The stored addresses in their stored order; entries that are not IPv4 dotted quads (an
// administrator's typing) are left out.
std::vector<std::string> LoadDirectedBroadcasts(RegStore& store);
// Replaces the stored list; 1 on success, 0 when the store could not be written.
int SaveDirectedBroadcasts(RegStore& store, const std::vector<std::string>& addresses);

// A dotted-quad IPv4 address such as 10.1.2.255.
bool IsIpv4Address(const std::string& text);

}  // namespace vistrel
