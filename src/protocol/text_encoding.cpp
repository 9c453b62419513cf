#include "protocol/text_encoding.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>

namespace vistrel {

namespace {

// Windows-1252 0x80 to 0x9F; undefined bytes map to their own code point.
constexpr std::array<char16_t, 32> kHighControls{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// Reads the code point at `i` of valid UTF-8 and moves `i` past it.
uint32_t NextCodePoint(std::string_view utf8, size_t& i) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    size_t length = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : 4;
    length = std::min(length, utf8.size() - i);
    uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k)
        code = (code << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    i += length;
    return code;
}

// The Windows-1252 byte of a code point, or nullopt.
std::optional<char> ByteOf(uint32_t code) {
    if (code < 0x80 || (code >= 0xA0 && code <= 0xFF))
        return static_cast<char>(code);
    for (size_t k = 0; k < kHighControls.size(); ++k) {
        if (kHighControls[k] == code)
            return static_cast<char>(0x80 + k);
    }
    return std::nullopt;
}

}  // namespace

size_t Utf8SequenceLength(std::string_view bytes, size_t i) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    size_t length = 0;
    uint32_t min = 0;
    if (lead < 0x80)
        return 1;
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        min = 0x10000;
    } else {
        return 0;
    }
    if (i + length > bytes.size())
        return 0;
    uint32_t code = lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(bytes[i + k]);
        if ((next & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (next & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

bool IsValidUtf8(std::string_view bytes) {
    for (size_t i = 0; i < bytes.size();) {
        const size_t length = Utf8SequenceLength(bytes, i);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

std::string JsonString(std::string_view bytes) {
    const std::string text = ProjectorTextAsUtf8(bytes);
    std::string out = "\"";
    out.reserve(text.size() + 2);
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        switch (u) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (u < 0x20 || u == 0x7F) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
                    out += escaped;
                } else {
                    out += c;
                }
        }
    }
    return out + '"';
}

std::string ProjectorTextAsUtf8(std::string_view bytes) {
    if (IsValidUtf8(bytes))
        return std::string(bytes);
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        AppendUtf8(out, byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : byte);
    }
    return out;
}

std::optional<std::string> ProjectorTextFromUtf8(std::string_view utf8, std::string* refused) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const size_t start = i;
        const auto byte = ByteOf(NextCodePoint(utf8, i));
        if (!byte) {
            if (refused)
                *refused = std::string(utf8.substr(start, i - start));
            return std::nullopt;
        }
        out += *byte;
    }
    return out;
}

size_t ProjectorTextSize(std::string_view utf8) {
    size_t size = 0;
    for (size_t i = 0; i < utf8.size();) {
        const size_t start = i;
        size += ByteOf(NextCodePoint(utf8, i)) ? 1 : i - start;
    }
    return size;
}

std::optional<std::string> ProjectorTextForEdit(std::string_view utf8, std::string_view kept,
                                                std::string* refused) {
    if (utf8 == ProjectorTextAsUtf8(kept))
        return std::string(kept);
    return ProjectorTextFromUtf8(utf8, refused);
}

}  // namespace vistrel
