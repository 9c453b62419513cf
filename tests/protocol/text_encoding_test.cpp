#include "protocol/text_encoding.h"

#include <gtest/gtest.h>

namespace vistrel {
namespace {

TEST(TextEncoding, ValidUtf8StaysAsItIsAndLegacyBytesReadAsWindows1252) {
    for (const std::string& utf8 :
         {std::string(), std::string("Lecture Hall"), std::string("H\xC3\xB6rsaal"),
          std::string("\xE2\x82\xAC 5"), std::string("\xF0\x9F\x8E\xA5"), std::string("a\0b", 3)}) {
        EXPECT_TRUE(IsValidUtf8(utf8)) << utf8;
        EXPECT_EQ(ProjectorTextAsUtf8(utf8), utf8);
    }
    EXPECT_EQ(ProjectorTextAsUtf8("H\xF6rsaal"), "H\xC3\xB6rsaal");  // Hörsaal
    EXPECT_EQ(ProjectorTextAsUtf8("Salle \xE9t\xE9"), "Salle \xC3\xA9t\xC3\xA9");
    // The range where Windows-1252 differs from Latin-1, and its undefined bytes.
    EXPECT_EQ(ProjectorTextAsUtf8("\x80\x93\x94\x9F"),
              "\xE2\x82\xAC\xE2\x80\x9C\xE2\x80\x9D\xC5\xB8");
    EXPECT_EQ(ProjectorTextAsUtf8("\x81\x8D"), "\xC2\x81\xC2\x8D");
    EXPECT_EQ(ProjectorTextAsUtf8("\xFF"), "\xC3\xBF");
    // Not UTF-8: overlong forms, surrogates, cut sequences, stray continuation bytes.
    for (const char* bad :
         {"\xC0\xAF", "\xED\xA0\x80", "\xE2\x82", "\xBF x", "\xF8\x88\x80\x80\x80"}) {
        EXPECT_FALSE(IsValidUtf8(bad)) << bad;
        EXPECT_TRUE(IsValidUtf8(ProjectorTextAsUtf8(bad))) << bad;
    }
}

TEST(TextEncoding, TypedTextGoesOutOneByteACharacterAndUntouchedBytesGoBackAsTheyCame) {
    EXPECT_EQ(ProjectorTextFromUtf8("Caf\xC3\xA9"), "Caf\xE9");
    EXPECT_EQ(ProjectorTextFromUtf8("\xE2\x82\xAC \xC5\xB8"), "\x80 \x9F");
    EXPECT_EQ(ProjectorTextSize("\xC3\xA9\xC3\xA9"), 2u);
    std::string refused;
    EXPECT_EQ(ProjectorTextFromUtf8("a\xD0\x96"
                                    "b",
                                    &refused),
              std::nullopt);  // Cyrillic
    EXPECT_EQ(refused, "\xD0\x96");
    EXPECT_EQ(ProjectorTextSize("\xD0\x96"), 2u);
    // Left alone, a name keeps its bytes whatever they are; typed, it is encoded.
    EXPECT_EQ(ProjectorTextForEdit("Salle \xC3\x89t\xC3\xA9", "Salle \xC9t\xE9"),
              "Salle \xC9t\xE9");
    EXPECT_EQ(ProjectorTextForEdit("H\xC3\xB6rsaal", "H\xC3\xB6rsaal"), "H\xC3\xB6rsaal");
    EXPECT_EQ(ProjectorTextForEdit("H\xC3\xB6rsaal 2", "H\xC3\xB6rsaal"), "H\xF6rsaal 2");
}

}  // namespace
}  // namespace vistrel
