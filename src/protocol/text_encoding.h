// Projector texts (names, groups) are bytes in whatever encoding the projector was set up
// with. The wire keeps those bytes; people see them as text. Most projectors send UTF-8 or
// ASCII; older ones send a legacy 8-bit encoding, taken here as Windows-1252 (a superset of
// Latin-1 for printable text).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vistrel {

bool IsValidUtf8(std::string_view bytes);

// Length of the valid UTF-8 sequence that starts at byte `i`; 0 when the bytes there are none.
size_t Utf8SequenceLength(std::string_view bytes, size_t i);

// The text as a JSON string literal, quotes included: projector bytes read as above, control
// characters escaped.
std::string JsonString(std::string_view bytes);

// The bytes themselves when they are valid UTF-8; otherwise every byte read as one
// Windows-1252 character, written as UTF-8. The five bytes that code page leaves undefined
// keep their Latin-1 meaning.
std::string ProjectorTextAsUtf8(std::string_view bytes);

// The bytes a projector keeps for a text a person typed (UTF-8): Windows-1252, one byte per
// character. nullopt when a character has no byte there; `refused`, when given, then gets
// that character (UTF-8).
std::optional<std::string> ProjectorTextFromUtf8(std::string_view utf8,
                                                 std::string* refused = nullptr);

// How many bytes `utf8` takes once sent to a projector; a character that cannot be sent
// counts with its UTF-8 length.
size_t ProjectorTextSize(std::string_view utf8);

// The bytes to send for a field whose projector bytes were `kept` and which now shows
// `utf8`: the kept bytes when the text is the one they show (so a name the operator left
// alone goes back as it came, whatever its encoding), otherwise the typed text encoded.
std::optional<std::string> ProjectorTextForEdit(std::string_view utf8, std::string_view kept,
                                                std::string* refused = nullptr);

}  // namespace vistrel
