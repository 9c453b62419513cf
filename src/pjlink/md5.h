// MD5 of a short text, as PJLink authentication needs it: the digest of the projector's
// random number followed by the password, in lower-case hex. Not for anything secret.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace vistrel::pjlink {

std::array<uint8_t, 16> Md5(std::string_view data);
// 32 lower-case hex digits.
std::string Md5Hex(std::string_view data);

}  // namespace vistrel::pjlink
