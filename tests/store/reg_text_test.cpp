#include "store/reg_text.h"

#include <gtest/gtest.h>

namespace vistrel {
namespace {

std::string DecodeBase64(std::string_view text) {
    static const std::string alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    uint32_t bits = 0;
    int count = 0;
    for (char c : text) {
        const size_t v = alphabet.find(c);
        if (v == std::string::npos)
            break;
        bits = (bits << 6) | static_cast<uint32_t>(v);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return out;
}

// Whatever the reader accepts is written back as the same tree.
void ExpectRoundTrip(const std::string& text) {
    RegNode root;
    std::string error;
    if (!ParseReg(text, root, &error)) {
        EXPECT_FALSE(error.empty());
        return;
    }
    const std::string written = SerializeReg(root);
    RegNode again;
    ASSERT_TRUE(ParseReg(written, again, &error)) << error;
    EXPECT_EQ(SerializeReg(again), written);
}

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

// Found by the store file fuzz target: a text value ending in a backslash pulled the next line
// into it, and the joined value read back as a different tree.
TEST(RegText, OnlyBinaryValuesContinueOverLines) {
    const std::string found = DecodeBase64(
        "77u/V2luZG93cyBSZWdpc3RyeSBFZGl0b3IgVmVyc2lvbiA1LjAwCgpbd2Vya1xWaXN0cmVsXQoiTmFtZSI9InRX"
        "aW5kb3dzIFJlZ2lzdHJ5IEVkaXRvciBWZXJzaW9uIDUuMDAKCltIS0VZX0NVUlJFTlRfVVLvu790XFJcU29mdHdh"
        "cmVcQnJpZ2h0d2Vya1xWaXN0cmVsXQoiTmFtZSI9InRleHQgMDIsXAogIDAzLDA0CkA9XApvU0V3YXJlXEJyaWdo"
        "dHdlIGlzdHJ5IEVkaXRvciBWZXJzaW9uIDUuMDAKCltIS0VZX0NVUlJFTlRfVVJTb2Z0XFJcU29mdHdhcmVcQnJp"
        "Z2h0d2Vya1xWaXN0cmVsXQoiTmFtZSI9InRleHQgMDIsXAogIDAzLDA0CkA9XApvU0V3YXJlXEJyaWdodHdlICAw"
        "MywwNApAPVwKb1NFd2FyZVxCIFxHcmVvdXBceHQ9IFw=");
    ASSERT_EQ(found.size(), 362u);
    RegNode root;
    std::string error;
    EXPECT_FALSE(ParseReg(found, root, &error));
    EXPECT_NE(error.find("only hex: values"), std::string::npos) << error;
    ExpectRoundTrip(found);

    const std::string header = "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A]\n";
    for (const std::string& tail : {
             std::string("@=\\\n"),  // a text value may end in a backslash
             std::string("\"x\"=\"C:\\\\\"\n\"y\"=\\\n\"z\"=dword:1\n"),
             std::string("\"b\"=hex:01, \\\n  02 \\\n"),  // continued to the end of the file
             std::string("\"b\"=hex:01\\\\\n"),
             std::string("\"b\"=hex(2):41,\\\n[HKEY_CURRENT_USER\\B]\n"),
         }) {
        ExpectRoundTrip(header + tail);
        EXPECT_TRUE(ParseReg(header + tail, root, &error)) << tail << ": " << error;
    }
    RegNode bin;
    ASSERT_TRUE(ParseReg(header + "\"b\"=hex:01, \\\n  02 \\\n", bin, &error));
    EXPECT_EQ(bin.FindChild("HKEY_CURRENT_USER")->FindChild("A")->FindValue("b")->raw, "hex:01,02");
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
