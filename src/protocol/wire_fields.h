// The field conversions of the projector wire format. Text is bytes: widths and offsets
// count bytes, as the projector counts them. Every reader clamps to the end of its input, so
// a field cut short yields what is there and nothing is ever read past the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vistrel {

// Width of every text field of the "set=" records and of the replies' name fields.
inline constexpr size_t kTextFieldWidth = 32;

// The bytes [offset, offset + width) of text, cut at its end (possibly empty).
std::string_view FieldAt(std::string_view text, size_t offset, size_t width);

// Decimal conversion of a field: leading white space skipped, an optional sign, then digits
// up to the first non-digit. No digits gives 0; values beyond int's range are clamped.
int LeadingInt(std::string_view field);

// FieldAt followed by LeadingInt.
int IntAt(std::string_view text, size_t offset, size_t width);

// The field without its trailing white space; leading blanks stay.
std::string TrimTrailingSpace(std::string_view field);

// FieldAt followed by TrimTrailingSpace.
std::string TextAt(std::string_view text, size_t offset, size_t width);

// The longest prefix of text of at most width bytes that does not end inside a UTF-8
// sequence.
std::string_view CutToWidth(std::string_view text, size_t width);

// text cut to width (see CutToWidth) and padded with blanks to exactly width bytes: the
// "%-32s" field of a record, which never grows past its width.
std::string PadField(std::string_view text, size_t width);

// A flag written as "%d" in one character: 0 to 9 as themselves; any other value, which would
// change the record's length, is written as 0.
char FlagDigit(int value);

// Packed IPv4 address, first octet most significant, written as eight upper-case hex digits.
std::string HexAddress(uint32_t packed);

// Eight hexadecimal digits (either case) to the packed address; nullopt for any other text.
std::optional<uint32_t> ParseHexAddress(std::string_view hex);

// Dotted quad ("192.168.0.100") to packed address; nullopt unless four decimal octets 0-255.
std::optional<uint32_t> PackAddress(std::string_view dotted);

// Packed address to dotted quad.
std::string DottedAddress(uint32_t packed);

}  // namespace vistrel
