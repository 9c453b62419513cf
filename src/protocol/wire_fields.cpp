#include "protocol/wire_fields.h"

#include <climits>

namespace vistrel {

namespace {

// The white-space set of the C locale: blank, tab, line feed, vertical tab, form feed, return.
bool IsSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool IsUtf8Continuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

}  // namespace

std::string_view FieldAt(std::string_view text, size_t offset, size_t width) {
    if (offset >= text.size())
        return {};
    return text.substr(offset, width);
}

int LeadingInt(std::string_view field) {
    size_t i = 0;
    while (i < field.size() && IsSpace(field[i]))
        ++i;
    bool negative = false;
    if (i < field.size() && (field[i] == '+' || field[i] == '-')) {
        negative = field[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < field.size() && IsDigit(field[i]); ++i) {
        value = value * 10 + (field[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

int IntAt(std::string_view text, size_t offset, size_t width) {
    return LeadingInt(FieldAt(text, offset, width));
}

std::string TrimTrailingSpace(std::string_view field) {
    size_t end = field.size();
    while (end > 0 && IsSpace(field[end - 1]))
        --end;
    return std::string(field.substr(0, end));
}

std::string TextAt(std::string_view text, size_t offset, size_t width) {
    return TrimTrailingSpace(FieldAt(text, offset, width));
}

std::string_view CutToWidth(std::string_view text, size_t width) {
    if (text.size() <= width)
        return text;
    size_t cut = width;
    // Step back over continuation bytes to the lead byte of the sequence that would be split;
    // a sequence has at most three of them, so text that is not UTF-8 loses at most three bytes.
    while (cut > 0 && width - cut < 3 && IsUtf8Continuation(text[cut]))
        --cut;
    return text.substr(0, cut);
}

std::string PadField(std::string_view text, size_t width) {
    std::string field(CutToWidth(text, width));
    field.resize(width, ' ');
    return field;
}

char FlagDigit(int value) {
    return value >= 0 && value <= 9 ? static_cast<char>('0' + value) : '0';
}

std::string HexAddress(uint32_t packed) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string hex(8, '0');
    for (int i = 7; i >= 0; --i) {
        hex[static_cast<size_t>(i)] = kDigits[packed & 0xF];
        packed >>= 4;
    }
    return hex;
}

std::optional<uint32_t> ParseHexAddress(std::string_view hex) {
    if (hex.size() != 8)
        return std::nullopt;
    uint32_t packed = 0;
    for (char c : hex) {
        int digit = HexValue(c);
        if (digit < 0)
            return std::nullopt;
        packed = (packed << 4) | static_cast<uint32_t>(digit);
    }
    return packed;
}

std::optional<uint32_t> PackAddress(std::string_view dotted) {
    uint32_t packed = 0;
    size_t i = 0;
    for (int octet = 0; octet < 4; ++octet) {
        if (octet > 0) {
            if (i >= dotted.size() || dotted[i] != '.')
                return std::nullopt;
            ++i;
        }
        size_t start = i;
        unsigned value = 0;
        while (i < dotted.size() && IsDigit(dotted[i]) && i - start < 3) {
            value = value * 10 + static_cast<unsigned>(dotted[i] - '0');
            ++i;
        }
        if (i == start || value > 255)
            return std::nullopt;
        packed = (packed << 8) | value;
    }
    if (i != dotted.size())
        return std::nullopt;
    return packed;
}

std::string DottedAddress(uint32_t packed) {
    std::string dotted;
    for (int shift = 24; shift >= 0; shift -= 8) {
        if (shift != 24)
            dotted += '.';
        dotted += std::to_string((packed >> shift) & 0xFF);
    }
    return dotted;
}

}  // namespace vistrel
