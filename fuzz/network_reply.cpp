// The network reply: its addresses are sent back to the projector in "set=network".
#include <cstddef>
#include <cstdint>

#include "fuzz_check.h"
#include "protocol/codec.h"

using namespace vistrel;
using fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view reply = fuzz::AsText(data, size);
    std::optional<NetworkReply> network = ParseNetworkReply(reply);
    std::optional<std::string> keeping = BuildNetworkRecordKeepingAddresses(true, reply);
    Check(network.has_value() == ReplyContains(reply, kNetworkTag), "parsed only with its tag");
    if (keeping) {
        // Never a short or malformed record toward a projector's IP configuration.
        Check(keeping->size() == 44, "set=network record is 44 bytes");
        Check(network.has_value(), "a kept record comes from a network reply");
        NetworkConfig kept;
        kept.dhcp = true;
        uint32_t* addresses[] = {&kept.ip, &kept.mask, &kept.gateway, &kept.dns};
        for (size_t i = 0; i < 4; ++i) {
            std::optional<uint32_t> packed = ParseHexAddress(keeping->substr(12 + 8 * i, 8));
            Check(packed.has_value(), "kept addresses are hex");
            *addresses[i] = *packed;
        }
        NetworkConfig parsed = network->config;
        parsed.dhcp = true;
        Check(kept == parsed, "kept addresses are the parsed ones");
    }
    if (network) {
        if (network->complete)
            Check(keeping.has_value(), "a complete reply can be sent back");
        Check(BuildNetworkRecord(network->config).size() == 44, "set=network record is 44 bytes");
    }
    return 0;
}
