#include "cli/listing.h"
#include "protocol/text_encoding.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sstream>

namespace vistrel::cli {
namespace {

Listing Sample() {
    Listing listing;
    listing.columns = {
        {"mac", "MAC"}, {"name", "NAME"}, {"task", "TASK"}, {"on", "ON"}, {"next", "NEXT"}};
    listing.AddRow({Cell::Text("0011AABBCCDD"), Cell::Text("Hall, left"), Cell::Number(1),
                    Cell::Bool(true), Cell::Null()});
    listing.AddRow({Cell::Text("E"), Cell::Text("Say \"hi\"\nnow"), Cell::Number(4),
                    Cell::Bool(false), Cell::Text("2026-01-05 22:00:00")});
    return listing;
}

std::string RenderText(const Listing& listing, OutputFormat format) {
    std::ostringstream out;
    Render(listing, format, out);
    return out.str();
}

TEST(ListingTest, TableAlignsColumnsAndKeepsEveryRowOnOneLine) {
    EXPECT_EQ(RenderText(Sample(), OutputFormat::Table),
              "MAC           NAME           TASK  ON   NEXT\n"
              "0011AABBCCDD  Hall, left     1     yes\n"
              "E             Say \"hi\"\\nnow  4     no   2026-01-05 22:00:00\n");
}

TEST(ListingTest, TableCountsCharactersNotBytes) {
    Listing listing;
    listing.columns = {{"a", "A"}, {"b", "B"}};
    listing.AddRow({Cell::Text("Saal \xC3\xBC"), Cell::Text("x")});  // "Saal ü": 6 characters
    listing.AddRow({Cell::Text("abcdefg"), Cell::Text("y")});
    EXPECT_EQ(RenderText(listing, OutputFormat::Table),
              "A        B\n"
              "Saal \xC3\xBC   x\n"
              "abcdefg  y\n");
}

TEST(ListingTest, JsonIsAnArrayOfTypedObjectsInColumnOrder) {
    const std::string text = RenderText(Sample(), OutputFormat::Json);
    const auto json = nlohmann::json::parse(text);
    ASSERT_TRUE(json.is_array());
    ASSERT_EQ(json.size(), 2u);
    EXPECT_EQ(json[0]["mac"], "0011AABBCCDD");
    EXPECT_EQ(json[0]["task"], 1);
    EXPECT_EQ(json[0]["on"], true);
    EXPECT_TRUE(json[0]["next"].is_null());
    EXPECT_EQ(json[1]["name"], "Say \"hi\"\nnow");
    EXPECT_EQ(json[1]["on"], false);
    EXPECT_LT(text.find("\"mac\""), text.find("\"name\""));
    EXPECT_EQ(RenderText(Listing{{{"a", "A"}}, {}}, OutputFormat::Json), "[]\n");
}

TEST(ListingTest, JsonStaysValidForAnyBytesAProjectorSends) {
    const std::string bytes = std::string("ok\x01\x7F", 4) + "\xFF\xC3" + "\\end";
    const auto parsed = nlohmann::json::parse(JsonString(bytes));
    EXPECT_EQ(parsed.get<std::string>(),
              std::string("ok\x01\x7F", 4) + "\xC3\xBF\xC3\x83" + "\\end");  // read as 8-bit
}

// A projector set up with a legacy 8-bit encoding: "Hörsaal" with one byte for the "ö".
TEST(ListingTest, LegacyEightBitNamesArePrintedAsUtf8InEveryForm) {
    Listing listing;
    listing.columns = {{"name", "NAME"}, {"x", "X"}};
    listing.AddRow({Cell::Text("H\xF6rsaal"), Cell::Text("1")});
    listing.AddRow({Cell::Text("Caf\xC3\xA9"), Cell::Text("2")});  // already UTF-8
    EXPECT_EQ(RenderText(listing, OutputFormat::Table),
              "NAME     X\n"
              "H\xC3\xB6rsaal  1\n"
              "Caf\xC3\xA9     2\n");
    EXPECT_EQ(RenderText(listing, OutputFormat::Csv), "name,x\nH\xC3\xB6rsaal,1\nCaf\xC3\xA9,2\n");
    const auto json = nlohmann::json::parse(RenderText(listing, OutputFormat::Json));
    EXPECT_EQ(json[0]["name"], "H\xC3\xB6rsaal");
    EXPECT_EQ(json[1]["name"], "Caf\xC3\xA9");
}

TEST(ListingTest, CsvQuotesOnlyWhatNeedsIt) {
    EXPECT_EQ(RenderText(Sample(), OutputFormat::Csv),
              "mac,name,task,on,next\n"
              "0011AABBCCDD,\"Hall, left\",1,yes,\n"
              "E,\"Say \"\"hi\"\"\nnow\",4,no,2026-01-05 22:00:00\n");
    EXPECT_EQ(CsvField(" padded"), "\" padded\"");
    EXPECT_EQ(CsvField("plain text"), "plain text");
}

}  // namespace
}  // namespace vistrel::cli
