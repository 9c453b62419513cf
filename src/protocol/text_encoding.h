// Projector texts (names, groups) are bytes in whatever encoding the projector was set up
// with. The wire keeps those bytes; people see them as text. Most projectors send UTF-8 or
// ASCII; older ones send a legacy 8-bit encoding, taken here as Windows-1252 (a superset of
// Latin-1 for printable text).
#pragma once

#include <string>
#include <string_view>

namespace vistrel {

bool IsValidUtf8(std::string_view bytes);

// The bytes themselves when they are valid UTF-8; otherwise every byte read as one
// Windows-1252 character, written as UTF-8. The five bytes that code page leaves undefined
// keep their Latin-1 meaning.
std::string ProjectorTextAsUtf8(std::string_view bytes);

}  // namespace vistrel
