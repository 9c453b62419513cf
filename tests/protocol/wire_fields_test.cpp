#include "protocol/wire_fields.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "exact_text.h"

namespace vistrel {
namespace {

using vistrel::testing::ExactText;

TEST(LeadingInt, ConvertsLikeTheProjectorsDecimalFields) {
    EXPECT_EQ(LeadingInt("05"), 5);
    EXPECT_EQ(LeadingInt("5 "), 5);
    EXPECT_EQ(LeadingInt("  42x"), 42);
    EXPECT_EQ(LeadingInt("010"), 10);
    EXPECT_EQ(LeadingInt("-10"), -10);
    EXPECT_EQ(LeadingInt(" -5"), -5);
    EXPECT_EQ(LeadingInt("+7"), 7);
    EXPECT_EQ(LeadingInt("\t\n3"), 3);
}

TEST(LeadingInt, FieldsWithoutDigitsGiveZero) {
    EXPECT_EQ(LeadingInt(""), 0);
    EXPECT_EQ(LeadingInt("   "), 0);
    EXPECT_EQ(LeadingInt("x1"), 0);
    EXPECT_EQ(LeadingInt("-"), 0);
    EXPECT_EQ(LeadingInt("- 5"), 0);
    EXPECT_EQ(LeadingInt("A123"), 0);
}

TEST(LeadingInt, HugeValuesClampInsteadOfOverflowing) {
    EXPECT_EQ(LeadingInt("99999999999999999999"), INT_MAX);
    EXPECT_EQ(LeadingInt("-99999999999999999999"), INT_MIN);
    EXPECT_EQ(LeadingInt("-2147483648"), INT_MIN);
    EXPECT_EQ(LeadingInt("2147483647"), INT_MAX);
}

TEST(FieldAt, ClampsToTheEndOfTheText) {
    ExactText text("abcdef");
    EXPECT_EQ(FieldAt(text.View(), 2, 3), "cde");
    EXPECT_EQ(FieldAt(text.View(), 4, 8), "ef");
    EXPECT_EQ(FieldAt(text.View(), 6, 1), "");
    EXPECT_EQ(FieldAt(text.View(), 600, 1), "");
    EXPECT_EQ(IntAt(text.View(), 60, 3), 0);
    EXPECT_EQ(TextAt(text.View(), 5, 32), "f");
    ExactText empty("");
    EXPECT_EQ(FieldAt(empty.View(), 0, 32), "");
}

TEST(TrimTrailingSpace, RemovesOnlyTrailingWhiteSpace) {
    EXPECT_EQ(TrimTrailingSpace("Lab                             "), "Lab");
    EXPECT_EQ(TrimTrailingSpace("  Lab  "), "  Lab");
    EXPECT_EQ(TrimTrailingSpace("a b\t\r\n \v\f"), "a b");
    EXPECT_EQ(TrimTrailingSpace("      "), "");
    EXPECT_EQ(TrimTrailingSpace(""), "");
}

TEST(PadField, CutsAtACharacterBoundaryAndPadsToExactWidth) {
    EXPECT_EQ(PadField("Lab", 32), "Lab" + std::string(29, ' '));
    EXPECT_EQ(PadField("", 4), "    ");
    EXPECT_EQ(PadField(std::string(40, 'x'), 32), std::string(32, 'x'));
    EXPECT_EQ(PadField(std::string(32, 'x'), 32), std::string(32, 'x'));

    // "é" is two bytes: at byte 31 it would straddle the end, so it is left out whole.
    EXPECT_EQ(PadField(std::string(31, 'a') + "é", 32), std::string(31, 'a') + " ");
    EXPECT_EQ(PadField(std::string(30, 'a') + "é", 32), std::string(30, 'a') + "é");
    // Three- and four-byte sequences.
    EXPECT_EQ(PadField(std::string(30, 'a') + "€x", 32), std::string(30, 'a') + "  ");
    EXPECT_EQ(PadField(std::string(29, 'a') + "€x", 32), std::string(29, 'a') + "€");
    EXPECT_EQ(PadField(std::string(29, 'a') + "😀", 32), std::string(29, 'a') + "   ");
    EXPECT_EQ(PadField("日本語の名前です日本語の名前です", 32).size(), 32u);
    EXPECT_EQ(PadField("日本語の名前です日本語の名前です", 32),
              "日本語の名前です日本" + std::string(2, ' '));
}

TEST(PadField, TextThatIsNotUtf8LosesAtMostThreeBytes) {
    std::string latin(40, '\xBB');  // continuation-shaped bytes only
    EXPECT_EQ(CutToWidth(latin, 32).size(), 29u);
    EXPECT_EQ(PadField(latin, 32).size(), 32u);
}

TEST(FlagDigit, WritesOneCharacterAlways) {
    EXPECT_EQ(FlagDigit(0), '0');
    EXPECT_EQ(FlagDigit(1), '1');
    EXPECT_EQ(FlagDigit(2), '2');
    EXPECT_EQ(FlagDigit(9), '9');
    EXPECT_EQ(FlagDigit(10), '0');
    EXPECT_EQ(FlagDigit(-1), '0');
}

TEST(HexAddress, PacksFirstOctetMostSignificant) {
    EXPECT_EQ(HexAddress(0xC0A80064u), "C0A80064");
    EXPECT_EQ(HexAddress(0x0A000005u), "0A000005");
    EXPECT_EQ(HexAddress(0u), "00000000");
    EXPECT_EQ(HexAddress(0xFFFFFFFFu), "FFFFFFFF");

    EXPECT_EQ(ParseHexAddress("C0A80064"), 0xC0A80064u);
    EXPECT_EQ(ParseHexAddress("c0a80064"), 0xC0A80064u);
    EXPECT_EQ(ParseHexAddress("ffffff00"), 0xFFFFFF00u);
    EXPECT_FALSE(ParseHexAddress("C0A8006G"));
    EXPECT_FALSE(ParseHexAddress("C0A800"));
    EXPECT_FALSE(ParseHexAddress("C0A800640"));
    EXPECT_FALSE(ParseHexAddress(" 0A80064"));
    EXPECT_FALSE(ParseHexAddress(""));
}

TEST(DottedAddress, ConvertsBothWays) {
    EXPECT_EQ(PackAddress("192.168.0.100"), 0xC0A80064u);
    EXPECT_EQ(PackAddress("10.0.0.5"), 0x0A000005u);
    EXPECT_EQ(PackAddress("255.255.255.255"), 0xFFFFFFFFu);
    EXPECT_EQ(PackAddress("0.0.0.0"), 0u);
    EXPECT_EQ(DottedAddress(0xC0A80064u), "192.168.0.100");
    EXPECT_EQ(DottedAddress(0xFFFFFF00u), "255.255.255.0");
    EXPECT_EQ(DottedAddress(0u), "0.0.0.0");
    for (uint32_t packed : {0x01020304u, 0x7F000001u, 0xDEADBEEFu}) {
        EXPECT_EQ(PackAddress(DottedAddress(packed)), packed);
    }
}

TEST(DottedAddress, RefusesMalformedText) {
    for (const char* bad : {"", "1.2.3", "1.2.3.4.5", "256.0.0.1", "1..2.3", "1.2.3.4 ", " 1.2.3.4",
                            "a.b.c.d", "1.2.3.-4", "1234.1.1.1", "1.2.3."}) {
        EXPECT_FALSE(PackAddress(bad)) << bad;
    }
}

}  // namespace
}  // namespace vistrel
