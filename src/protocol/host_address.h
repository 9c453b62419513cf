// Whether an address may be sent a request. Every request goes to one projector, so only a
// dotted quad that names one IPv4 host will do: "0.0.0.0" would reach this workstation's own
// port 80, and a broadcast or multicast address reaches no projector in particular.
#pragma once

#include <string_view>

namespace vistrel {

// True for a dotted quad of four decimal numbers 0 to 255 (no leading zeros, no blanks)
// outside 0.0.0.0/8 ("this network"), 224.0.0.0/4 (multicast) and 240.0.0.0/4 (reserved,
// with the limited broadcast 255.255.255.255). Loopback is allowed: the demo fleet and the
// tests live there.
//
// A subnet's own broadcast address (such as 192.168.1.255 in a /24) is not refused here:
// without the mask it cannot be told from a host (192.168.1.255 is a host in a /23), and
// the system refuses TCP connections to the broadcast address of a network it is on.
bool IsUsableHostAddress(std::string_view address);

}  // namespace vistrel
