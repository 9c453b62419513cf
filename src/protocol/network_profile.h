// Where the console looks for projectors. The defaults are the real network's; tests and
// the demo fleet replace them with loopback addresses and unprivileged ports.
#pragma once

#include <cstdint>
#include <string>

namespace vistrel {

struct NetworkProfile {
    std::string broadcastAddress = "255.255.255.255";
    std::string bindAddress = "0.0.0.0";
    uint16_t discoveryPort = 250;
    uint16_t httpPort = 80;
};

}  // namespace vistrel
