// What a fleet is made of before it starts: the projectors (address, MAC, state, faults) and
// where it listens. Built from a count and a seed, or read from a JSON fleet file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/projector_state.h"

namespace vistrel::sim {

struct ProjectorConfig {
    std::string address;  // dotted quad
    std::string mac;      // 12 characters
    ProjectorState state;
    Faults faults;
};

struct FleetOptions {
    std::vector<ProjectorConfig> projectors;
    // 0 chooses a free port; every projector then shares the port found.
    uint16_t discoveryPort = 250;
    uint16_t httpPort = 80;
    // I/O threads serving every socket of the fleet; the fleet starts no other threads.
    int threads = 2;
    // Where broadcast probes are received. Empty: 127.255.255.255 when the first projector is
    // on loopback, otherwise the wildcard address.
    std::string broadcastListenAddress;
    // Delay between a "set=network" that moves a projector and its answering from there.
    int relocationDelayMs = 1000;
    // Discovery answers to one broadcast go out in bursts of this many per millisecond, so a
    // receiver with an ordinary socket buffer keeps up with a large fleet. 0: all at once.
    int answersPerMs = 100;
    // Network namespace (a name under /run/netns, or a path) whose sockets the fleet uses;
    // empty: the caller's.
    std::string netns;
    std::string logFile;
};

inline constexpr const char* kDefaultFirstAddress = "127.0.0.2";

// `count` generated projectors on consecutive addresses from `firstAddress`.
FleetOptions GenerateFleet(size_t count, uint64_t seed,
                           const std::string& firstAddress = kDefaultFirstAddress);

// A JSON fleet description (see FleetFileHelp). Projectors without an address take the next
// consecutive one from `firstAddress`; missing fields come from the generator. Returns
// nullopt and sets `error` on a malformed file.
std::optional<FleetOptions> ParseFleetJson(const std::string& text, const std::string& firstAddress,
                                           uint64_t seed, std::string* error);
std::optional<FleetOptions> LoadFleetFile(const std::string& path, const std::string& firstAddress,
                                          uint64_t seed, std::string* error);

// The address `steps` after `address` ("127.0.0.255" + 1 = "127.0.1.0"), or nullopt.
std::optional<std::string> NextAddress(const std::string& address, uint32_t steps = 1);

// Text for --help describing the fleet file.
const char* FleetFileHelp();

// JSON of one projector's state and faults, the fleet file's projector layout.
std::string ProjectorJson(const ProjectorConfig& config);
// Applies a JSON object of fields (state and/or "faults") onto a projector; false + error on
// a bad document.
bool ApplyProjectorJson(const std::string& json, ProjectorConfig& config, std::string* error);

}  // namespace vistrel::sim
