#include "protocol/host_address.h"

#include <array>
#include <cstdint>

namespace vistrel {

bool IsUsableHostAddress(std::string_view address) {
    std::array<uint32_t, 4> octets{};
    size_t part = 0;
    size_t digits = 0;
    for (const char c : address) {
        if (c == '.') {
            if (digits == 0 || ++part == octets.size())
                return false;
            digits = 0;
            continue;
        }
        if (c < '0' || c > '9')
            return false;
        // A leading zero could be read as octal by some resolvers ("010" as 8).
        if (digits == 1 && octets[part] == 0)
            return false;
        octets[part] = octets[part] * 10 + static_cast<uint32_t>(c - '0');
        if (++digits > 3 || octets[part] > 255)
            return false;
    }
    if (part != 3 || digits == 0)
        return false;
    const uint32_t first = octets[0];
    return first != 0 && first < 224;
}

}  // namespace vistrel
