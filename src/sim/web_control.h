// The projector's side of the web-control protocol: reads one POST body exactly as it
// arrives (raw, fixed-width, not percent-decoded), changes the projector's state and writes
// the reply text. Written independently of the console's codec so that tests compare two
// readings of the wire format.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "sim/projector_state.h"

namespace vistrel::sim {

inline constexpr std::string_view kReplyOk = "<return>\n<result>OK";
inline constexpr std::string_view kReplyTimeout = "<return>\n<result>timeout";

struct WebReply {
    std::string text;
    // "info", "group", "model", "control", "network", "user", "alert" for queries;
    // "command" or "set" otherwise; empty for a body of no known kind.
    std::string topic;
    // Set when a "set=network" moved the projector: the address it answers from next.
    std::optional<std::string> newAddress;
};

// Handles one body for the projector at `address`. With `commandsTimeOut` every command and
// set answers the time-out text and changes nothing. `startUp` is what "Reset all" returns
// the settings to (defaults when null).
WebReply HandleWebRequest(ProjectorState& state, const std::string& address, std::string_view body,
                          bool commandsTimeOut = false, const ProjectorState* startUp = nullptr);

// Reply layouts, each starting with its "<return>\n<tag>" envelope.
std::string InfoReply(const ProjectorState& state);
std::string GroupReply(const ProjectorState& state);
std::string ModelReply(const ProjectorState& state);
std::string ControlReply(const ProjectorState& state);
std::string NetworkReply(const ProjectorState& state, const std::string& address);
std::string UserReply(const ProjectorState& state);
std::string AlertReply(const ProjectorState& state);

// Dotted quad <-> packed address, first octet most significant.
std::optional<uint32_t> PackAddress(std::string_view dotted);
std::string DottedAddress(uint32_t packed);

}  // namespace vistrel::sim
