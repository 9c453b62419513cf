// Checks shared by the fuzz targets. A broken invariant aborts with its text, so libFuzzer
// keeps the input that broke it as a crash.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace vistrel::fuzz {

// (clang 14 with this standard library has no std::source_location; the builtins it uses do.)
inline void Check(bool holds, const char* what, const char* file = __builtin_FILE(),
                  int line = __builtin_LINE()) {
    if (holds)
        return;
    std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, what);
    std::abort();
}

inline std::string_view AsText(const uint8_t* data, size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

inline bool IsSpaceByte(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// A text read from a fixed-width field: at most `width` bytes, no trailing white space.
inline bool IsTrimmedField(const std::string& text, size_t width) {
    return text.size() <= width && (text.empty() || !IsSpaceByte(text.back()));
}

}  // namespace vistrel::fuzz
