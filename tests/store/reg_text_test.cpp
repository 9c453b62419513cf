#include "store/reg_text.h"

#include <gtest/gtest.h>

namespace vistrel {
namespace {

TEST(RegText, WritesRegistryExportFormat) {
    RegNode root;
    RegNode* app = root.AddChild("HKEY_CURRENT_USER")
                       ->AddChild("Software")
                       ->AddChild("Brightwerk")
                       ->AddChild("Vistrel");
    app->SetDword("Interval", 10000);
    app->AddChild("Group")->AddChild("Lobby");
    app->AddChild("Projector")->AddChild("00AB12CD34EF")->SetDword("Checked", 1);

    EXPECT_EQ(SerializeReg(root),
              "Windows Registry Editor Version 5.00\n\n"
              "[HKEY_CURRENT_USER\\Software\\Brightwerk\\Vistrel]\n"
              "\"Interval\"=dword:00002710\n\n"
              "[HKEY_CURRENT_USER\\Software\\Brightwerk\\Vistrel\\Group\\Lobby]\n\n"
              "[HKEY_CURRENT_USER\\Software\\Brightwerk\\Vistrel\\Projector\\00AB12CD34EF]\n"
              "\"Checked\"=dword:00000001\n\n");
}

TEST(RegText, RoundTripKeepsOddNamesAndForeignValues) {
    const std::string text =
        "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n"
        "; a comment\r\n"
        "[HKEY_CURRENT_USER\\Software\\Brightwerk\\Vistrel\\Group\\Room [2] \"east\"]\r\n"
        "\"Quote\\\"and\\\\slash\"=dword:FFFFFFFF\r\n"
        "\"Text\"=\"hello\"\r\n"
        "\"Bin\"=hex:01,02,\\\r\n"
        "  03\r\n"
        "@=dword:7\r\n";
    RegNode root;
    std::string error;
    ASSERT_TRUE(ParseReg(text, root, &error)) << error;
    const RegNode* room = root.FindChild("hkey_current_user")
                              ->FindChild("SOFTWARE")
                              ->FindChild("Brightwerk")
                              ->FindChild("Vistrel")
                              ->FindChild("Group")
                              ->FindChild("Room [2] \"east\"");
    ASSERT_NE(room, nullptr);
    ASSERT_NE(room->FindValue("Quote\"and\\slash"), nullptr);
    EXPECT_EQ(room->FindValue("Quote\"and\\slash")->dword, 0xFFFFFFFFu);
    EXPECT_FALSE(room->FindValue("Text")->isDword);
    EXPECT_EQ(room->FindValue("Bin")->raw, "hex:01,02,03");
    EXPECT_EQ(room->FindValue("")->dword, 7u);

    RegNode again;
    ASSERT_TRUE(ParseReg(SerializeReg(root), again, &error)) << error;
    EXPECT_EQ(SerializeReg(again), SerializeReg(root));
}

TEST(RegText, AppliesDeletionForms) {
    RegNode root;
    std::string error;
    ASSERT_TRUE(
        ParseReg("Windows Registry Editor Version 5.00\n"
                 "[HKEY_CURRENT_USER\\A\\B]\n\"x\"=dword:1\n\"y\"=dword:2\n"
                 "[HKEY_CURRENT_USER\\A\\C]\n"
                 "[-HKEY_CURRENT_USER\\A\\C]\n"
                 "[HKEY_CURRENT_USER\\A\\B]\n\"x\"=-\n",
                 root, &error))
        << error;
    const RegNode* a = root.FindChild("HKEY_CURRENT_USER")->FindChild("A");
    EXPECT_EQ(a->FindChild("C"), nullptr);
    EXPECT_EQ(a->FindChild("B")->FindValue("x"), nullptr);
    EXPECT_EQ(a->FindChild("B")->FindValue("y")->dword, 2u);
}

TEST(RegText, RejectsDamagedText) {
    const char* bad[] = {
        "",
        "garbage\n",
        "Windows Registry Editor Version 5.00\n\"x\"=dword:1\n",             // value outside key
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A\n",     // no ']'
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\\\A]\n",  // empty name
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER]\n\"x\"=dword:123456789\n",
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER]\n\"x\"=dword:zz\n",
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER]\n\"x=dword:1\n",
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER]\nstray text\n",
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER]\n\"x\"\n",
    };
    for (const char* text : bad) {
        RegNode root;
        std::string error;
        EXPECT_FALSE(ParseReg(text, root, &error)) << text;
        EXPECT_FALSE(error.empty());
    }
}

TEST(RegTree, NamesCompareWithoutCaseAndEnumerateAlphabetically) {
    RegNode node;
    for (const char* n : {"beta", "Alpha", "_under", "Zulu", "alpha2", "10"})
        node.AddChild(n);
    bool created = true;
    node.AddChild("BETA", &created);
    EXPECT_FALSE(created);
    std::vector<std::string> order;
    for (const auto& c : node.subkeys)
        order.push_back(c->name);
    // Upper-case folding puts '_' after the letters, as the registry does.
    EXPECT_EQ(order, (std::vector<std::string>{"10", "Alpha", "alpha2", "beta", "Zulu", "_under"}));
}

TEST(RegTree, RefusesNamesThatWouldBreakTheTree) {
    EXPECT_FALSE(IsValidKeyName(""));
    EXPECT_FALSE(IsValidKeyName("a\\b"));
    EXPECT_FALSE(IsValidKeyName("line\nbreak"));
    EXPECT_FALSE(IsValidKeyName("cr\r"));
    EXPECT_FALSE(IsValidKeyName("\xC3("));     // broken UTF-8
    EXPECT_FALSE(IsValidKeyName("\xC0\xAF"));  // overlong
    EXPECT_FALSE(IsValidKeyName(std::string(256, 'x')));
    EXPECT_TRUE(IsValidKeyName("Room \"A\" [east]"));
    EXPECT_TRUE(IsValidKeyName("Salle \xC3\xA9t\xC3\xA9"));
    EXPECT_TRUE(IsValidValueName(""));
    EXPECT_FALSE(IsValidValueName("tab\there"));
}

}  // namespace
}  // namespace vistrel
