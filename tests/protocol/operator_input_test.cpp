// Whatever an operator types into a field that reaches the wire, the record keeps its
// documented layout: every text field is cut to its width at a character boundary and
// padded, every flag is one digit, and the record has its exact length.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "protocol/codec.h"
#include "protocol/setting_catalog.h"

namespace vistrel {
namespace {

bool IsValidUtf8(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        size_t extra = 0;
        if (c >= 0x80) {
            if ((c & 0xE0) == 0xC0)
                extra = 1;
            else if ((c & 0xF0) == 0xE0)
                extra = 2;
            else if ((c & 0xF8) == 0xF0)
                extra = 3;
            else
                return false;
        }
        for (size_t k = 1; k <= extra; ++k) {
            if (i + k >= s.size() || (static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        }
        i += extra + 1;
    }
    return true;
}

std::string Repeat(std::string_view piece, size_t times) {
    std::string out;
    for (size_t i = 0; i < times; ++i)
        out += piece;
    return out;
}

// What operators type, or paste: nothing, too much, other alphabets, path separators,
// characters that mean something in a form body, and bytes that are not text at all.
const std::vector<std::string>& OperatorTexts() {
    static const std::vector<std::string> texts = {
        "",
        " ",
        "Lab",
        std::string(31, 'x'),
        std::string(32, 'x'),
        std::string(33, 'x'),
        std::string(300, 'y'),
        "back\\slash\\",
        "C:\\Projectors\\Hall",
        "quote\"d",
        "amp&set=alert&x=1",
        "per%20cent+plus",
        "new\nline",
        "tab\tand\rreturn",
        "trailing blanks   ",
        "   leading blanks",
        Repeat("\xC3\xA9", 20),                     // 40 bytes of two-byte characters
        std::string(31, 'a') + "\xC3\xA9",          // a two-byte character across the edge
        std::string(30, 'a') + "\xE2\x82\xAC",      // a three-byte character across the edge
        std::string(29, 'a') + "\xF0\x9F\x93\xBD",  // a four-byte character across the edge
        Repeat("\xE6\x97\xA5\xE6\x9C\xAC", 8),      // 48 bytes of three-byte characters
        "\xFF\xFE not text",
        std::string(40, '\x80'),
        std::string("nul\0inside", 10),
    };
    return texts;
}

// The field as the record must carry it: the longest prefix that fits without splitting a
// character, padded with blanks.
void ExpectField(std::string_view field, const std::string& typed, size_t width) {
    ASSERT_EQ(field.size(), width);
    std::string_view kept = CutToWidth(typed, width);
    EXPECT_EQ(field.substr(0, kept.size()), kept);
    EXPECT_EQ(field.substr(kept.size()), std::string(width - kept.size(), ' '));
    EXPECT_EQ(std::string_view(typed).substr(0, kept.size()), kept) << "a cut, never a change";
    if (IsValidUtf8(typed)) {
        EXPECT_TRUE(IsValidUtf8(kept)) << "a character is never split";
    }
    if (typed.size() <= width) {
        EXPECT_EQ(kept, typed) << "what fits is kept whole";
    }
}

TEST(OperatorInput, GroupRecordKeepsItsLayoutWhateverTheNames) {
    for (const std::string& typed : OperatorTexts()) {
        SCOPED_TRACE(testing::PrintToString(typed));
        const std::string record = BuildGroupRecord(typed, typed);
        ASSERT_EQ(record.size(), 73u);
        EXPECT_EQ(record.substr(0, 9), "set=group");
        ExpectField(std::string_view(record).substr(9, 32), typed, 32);
        ExpectField(std::string_view(record).substr(41, 32), typed, 32);
    }
}

TEST(OperatorInput, UserRecordKeepsItsLayoutWhateverThePasswordsAndFlags) {
    for (const std::string& typed : OperatorTexts()) {
        for (int flag : {0, 1, 9, -1, 10, INT_MAX, INT_MIN}) {
            SCOPED_TRACE(testing::PrintToString(typed) + " flag " + std::to_string(flag));
            const std::string record = BuildUserRecord(flag, typed, flag, typed);
            ASSERT_EQ(record.size(), 74u);
            EXPECT_EQ(record.substr(0, 8), "set=user");
            const char digit = flag >= 0 && flag <= 9 ? static_cast<char>('0' + flag) : '0';
            EXPECT_EQ(record[8], digit);
            EXPECT_EQ(record[41], digit);
            ExpectField(std::string_view(record).substr(9, 32), typed, 32);
            ExpectField(std::string_view(record).substr(42, 32), typed, 32);
        }
    }
}

TEST(OperatorInput, AlertRecordKeepsItsLayoutWhateverTheTextsAndFlags) {
    for (const std::string& typed : OperatorTexts()) {
        SCOPED_TRACE(testing::PrintToString(typed));
        AlertSettings alert{typed, typed, typed, typed, typed, typed, typed, -1, 10, 1, 7};
        const std::string record = BuildAlertRecord(alert);
        ASSERT_EQ(record.size(), 237u);
        EXPECT_EQ(record.substr(0, 9), "set=alert");
        for (size_t i = 0; i < 7; ++i)
            ExpectField(std::string_view(record).substr(9 + 32 * i, 32), typed, 32);
        EXPECT_EQ(record.substr(233), "0017") << "out-of-range flags are written as 0";
    }
}

TEST(OperatorInput, DisplayMessageIsAlwaysThirtyBytes) {
    for (const std::string& typed : OperatorTexts()) {
        SCOPED_TRACE(testing::PrintToString(typed));
        const std::string body = BuildTextSettingBody(Setting("display-message"), typed);
        ASSERT_EQ(body.substr(0, 15), "command=~00210 ");
        ExpectField(std::string_view(body).substr(15), typed, 30);
    }
}

TEST(OperatorInput, NetworkRecordIsAlwaysFortyFourBytes) {
    for (uint32_t address : {0u, 1u, 0x7F000001u, 0xFFFFFFFFu}) {
        const std::string record = BuildNetworkRecord({true, address, address, address, address});
        EXPECT_EQ(record.size(), 44u);
        EXPECT_EQ(record.find_first_not_of("0123456789ABCDEF", 12), std::string::npos);
    }
    // Typed addresses that are not four octets never become a record.
    for (const char* typed : {"", "256.1.1.1", "1.2.3", "1.2.3.4.5", " 1.2.3.4", "1.2.3.4 ",
                              "1..2.3", "1.2.3.-4", "0x7f.0.0.1", "1.2.3.4\\", "１.２.３.４"}) {
        EXPECT_FALSE(PackAddress(typed).has_value()) << typed;
    }
}

TEST(OperatorInput, CommandValuesAreWrittenWholeAndNeverReadAsAnotherCommand) {
    // The pages accept values within their ranges; whatever reaches the builder is written
    // in full, never cut into a different number.
    EXPECT_EQ(BuildValueCommand("~0012 ", INT_MAX), "command=~0012 2147483647");
    EXPECT_EQ(BuildValueCommand("~0012 ", INT_MIN), "command=~0012 -2147483648");
    EXPECT_EQ(BuildValueCommand("~0046 ", -5, ValueForm::ZeroPadded3), "command=~0046 -05");
    EXPECT_EQ(BuildValueCommand("~0046 ", 1000, ValueForm::ZeroPadded3), "command=~0046 1000");
    EXPECT_EQ(BuildValueCommand("~0046 ", 7, ValueForm::RightAligned3), "command=~0046   7");
}

}  // namespace
}  // namespace vistrel
