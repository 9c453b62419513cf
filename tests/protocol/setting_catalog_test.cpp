#include "protocol/setting_catalog.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace vistrel {
namespace {

// A control reply with a distinct value in every field, built by hand (not from the layout
// table under test): "<return>\n<control>" then offsets 18 to 75.
std::string SampleControlReply() {
    std::string r = "<return>\n<control>";
    r += "00";   // 18, 19
    r += "1";    // 20 power
    r += "0";    // 21
    r += "1";    // 22 bright mode
    r += "1";    // 23 freeze
    r += "0";    // 24 source lock
    r += "1";    // 25 AV mute
    r += "0";    // 26 information hide (0 = on)
    r += "0";    // 27
    r += "1";    // 28 high altitude
    r += "0";    // 29 keypad lock
    r += "00";   // 30, 31
    r += "1";    // 32 DirectPower
    r += "0";    // 33
    r += "2";    // 34 source VGA-2
    r += "3";    // 35 display format Native
    r += "7";    // 36 display mode Blackboard
    r += "2";    // 37 color temperature Cold
    r += "3";    // 38 degamma PC
    r += "1";    // 39 projection Front + Ceiling
    r += "1";    // 40 logo User
    r += "4";    // 41 background White
    r += "2";    // 42 color space YUV
    r += "42";   // 43 projector ID
    r += "07";   // 45 volume
    r += "30";   // 47 sharpness
    r += "12";   // 49 phase
    r += "09";   // 51 BrilliantColor
    r += "-3";   // 53 zoom
    r += "100";  // 55 brightness
    r += "055";  // 58 contrast
    r += "-10";  // 61 image shift
    r += " 40";  // 64 keystone
    r += "175";  // 67 auto power off
    r += "995";  // 70 sleep timer
    r += "2";    // 73 closed captioning
    r += "1";    // 74 Auto Keystone
    r += "0";    // 75 3D flag
    return r;
}

TEST(SettingCatalogTest, NamesAreUniqueLowerCaseAndFound) {
    std::set<std::string_view> names;
    for (const SettingDef& def : AllSettings()) {
        EXPECT_TRUE(names.insert(def.name).second) << def.name;
        EXPECT_TRUE(std::all_of(def.name.begin(), def.name.end(), [](char c) {
            return (c >= 'a' && c <= 'z') || c == '-';
        })) << def.name;
        EXPECT_EQ(FindSetting(def.name), &def);
        EXPECT_FALSE(def.label.empty()) << def.name;
    }
    EXPECT_EQ(FindSetting("Volume"), nullptr);
    EXPECT_EQ(FindSetting(""), nullptr);
}

TEST(SettingCatalogTest, EveryReportedSettingSitsOnAFieldOfTheControlLayout) {
    for (const SettingDef& def : AllSettings()) {
        if (def.width == 0) {
            // Besides actions and texts, only the 3D sync invert goes unreported.
            EXPECT_TRUE(def.kind == SettingKind::Action || def.kind == SettingKind::Text ||
                        def.name == "three-d-sync-invert")
                << def.name;
            EXPECT_EQ(CurrentValue(def, SampleControlReply()), std::nullopt) << def.name;
            continue;
        }
        const bool onLayout = std::any_of(
            std::begin(kControlLayout), std::end(kControlLayout),
            [&](const ControlField& f) { return f.offset == def.offset && f.width == def.width; });
        EXPECT_TRUE(onLayout) << def.name << " at " << def.offset;
        if (def.kind == SettingKind::Number) {
            // The widest value must fit the field the projector reports it in.
            EXPECT_LE(std::to_string(def.low).size(), def.width) << def.name;
            EXPECT_LE(std::to_string(def.high).size(), def.width) << def.name;
        }
    }
}

TEST(SettingCatalogTest, CurrentValuesReadFromTheControlReply) {
    const std::string reply = SampleControlReply();
    ASSERT_EQ(reply.size(), kControlReplyLength);
    const std::vector<std::pair<std::string_view, int>> expected = {
        {"power", 1},
        {"source", 3},  // VGA-2 is row 3 of the source list
        {"source-lock", 0},
        {"freeze", 1},
        {"av-mute", 1},
        {"direct-power", 1},
        {"auto-keystone", 1},
        {"auto-power-off", 175},
        {"volume", 7},
        {"display-mode", 6},  // Blackboard in list A
        {"brightness", 100},
        {"contrast", 55},
        {"sharpness", 30},
        {"brilliant-color", 9},
        {"phase", 12},
        {"degamma", 3},
        {"color-temperature", 2},
        {"color-space", 2},
        {"closed-captioning", 2},
        {"projection", 1},
        {"display-format", 3},
        {"zoom", -3},
        {"image-shift", -10},
        {"keystone", 40},
        {"background-color", 4},
        {"logo", 1},
        {"bright-mode", 1},
        {"information-hide", 1},  // digit 0 means on
        {"high-altitude", 1},
        {"keypad-lock", 0},
        {"projector-id", 42},
        {"sleep-timer", 995},
    };
    for (const auto& [name, value] : expected) {
        const SettingDef* def = FindSetting(name);
        ASSERT_NE(def, nullptr) << name;
        EXPECT_EQ(CurrentValue(*def, reply), value) << name;
    }
    EXPECT_EQ(CurrentValue(Setting("resync"), reply), std::nullopt);
    EXPECT_EQ(CurrentValue(Setting("display-message"), reply), std::nullopt);
}

TEST(SettingCatalogTest, UnknownReportedCodesSelectNoRow) {
    std::string reply = SampleControlReply();
    reply[34] = '7';  // no source has code 7
    reply[41] = '9';  // background index beyond the list
    EXPECT_EQ(CurrentValue(Setting("source"), reply), -1);
    EXPECT_EQ(CurrentValue(Setting("background-color"), reply), -1);
}

TEST(SettingCatalogTest, AFieldTheReplyDoesNotCarryIsNotReported) {
    const std::string reply = SampleControlReply();
    const SettingDef& autoPowerOff = Setting("auto-power-off");
    ASSERT_TRUE(CurrentValue(autoPowerOff, reply).has_value());
    // Cut short inside the field or before it: neither its first digits nor 0.
    EXPECT_EQ(CurrentValue(autoPowerOff, reply.substr(0, 68)), std::nullopt);
    EXPECT_EQ(CurrentValue(Setting("volume"), reply.substr(0, 46)), std::nullopt);
    EXPECT_EQ(CurrentValue(Setting("three-d"), reply.substr(0, 75)), std::nullopt);
    EXPECT_EQ(CurrentValue(Setting("information-hide"), reply.substr(0, 20)), std::nullopt);
    EXPECT_FALSE(IsReported(Setting("volume"), ""));
    // A field without digits reports nothing; blanks before a number and a sign are read.
    std::string blanks = reply;
    blanks.replace(45, 2, "  ");
    blanks.replace(55, 3, " 7x");
    blanks.replace(61, 3, "-10");
    blanks.replace(64, 3, "- 1");
    EXPECT_EQ(CurrentValue(Setting("volume"), blanks), std::nullopt);
    EXPECT_EQ(ReportedNumber(Setting("brightness"), blanks), 7);
    EXPECT_EQ(CurrentValue(Setting("image-shift"), blanks), -10);
    EXPECT_EQ(CurrentValue(Setting("keystone"), blanks), std::nullopt);
    // The last field of a whole reply is read.
    EXPECT_EQ(CurrentValue(Setting("three-d"), reply), 0);
}

// The bodies the pages send, written out as the operator's actions produce them.
TEST(SettingCatalogTest, BodiesMatchThePagesCommands) {
    const std::vector<std::tuple<std::string_view, int, std::string>> cases = {
        {"power", 1, "command=~0000 1"},
        {"power", 0, "command=~0000 0"},
        {"source", 0, "command="},  // "None" has no command text
        {"source", 2, "command=~0012 5"},
        {"source", 5, "command=~0012 10"},
        {"source-lock", 1, "command=~00100 1"},
        {"freeze", 0, "command=~0004 0"},
        {"av-mute", 1, "command=~0002 1"},
        {"direct-power", 1, "command=~00105 1"},
        {"auto-keystone", 0, "command=~0069 0"},
        {"auto-power-off", 180, "command=~00106 180"},
        {"volume", 10, "command=~0081 10"},
        {"display-mode", 7, "command=~0020 8"},
        {"brightness", 100, "command=~0021 100"},
        {"contrast", 0, "command=~0022 0"},
        {"sharpness", 31, "command=~0023 31"},
        {"brilliant-color", 5, "command=~0034 5"},
        {"phase", 3, "command=~0074 3"},
        {"degamma", 3, "command=~0035 4"},
        {"color-temperature", 1, "command=~0036 2"},
        {"color-space", 2, "command=~0037 3"},
        {"closed-captioning", 0, "command=~0088 0"},
        {"projection", 3, "command=~0071 4"},
        {"display-format", 4, "command=~0060 7"},
        {"zoom", -5, "command=~0062 -5"},
        {"image-shift", -50, "command=~0064 -50"},
        {"keystone", 40, "command=~0066 40"},
        {"background-color", 2, "command=~00104 1"},
        {"logo", 1, "command=~0082 2"},
        {"bright-mode", 1, "command=~00110 1"},
        {"information-hide", 0, "command=~00102 0"},
        {"high-altitude", 1, "command=~00101 1"},
        {"keypad-lock", 1, "command=~00103 1"},
        {"projector-id", 99, "command=~0079 99"},
        {"sleep-timer", 995, "command=~00107 995"},
    };
    for (const auto& [name, value, body] : cases)
        EXPECT_EQ(BuildSettingBody(Setting(name), value), body) << name << " " << value;

    EXPECT_EQ(BuildActionBody(Setting("resync")), "command=~0001 1");
    EXPECT_EQ(BuildActionBody(Setting("reset-all")), "command=~00112 1");
    EXPECT_EQ(BuildTextSettingBody(Setting("display-message"), "Hello"),
              "command=~00210 Hello" + std::string(25, ' '));
    EXPECT_EQ(Setting("auto-power-off").step, 5);
    EXPECT_EQ(Setting("sleep-timer").step, 5);
    EXPECT_EQ(Setting("volume").step, 1);
}

// The group form's own settings: 3D, its sync invert, and a volume up to 15 that the up-down
// writes right-aligned and "Set" writes with leading zeros.
TEST(SettingCatalogTest, GroupFormSettings) {
    EXPECT_EQ(BuildSettingBody(Setting("three-d"), 1), "command=~0090 1");
    EXPECT_EQ(BuildSettingBody(Setting("three-d"), 0), "command=~0090 0");
    EXPECT_EQ(BuildSettingBody(Setting("three-d-sync-invert"), 1), "command=~0091 1");
    EXPECT_EQ(BuildSettingBody(Setting("three-d-sync-invert"), 0), "command=~0091 0");
    EXPECT_EQ(CurrentValue(Setting("three-d"), SampleControlReply()), 0);

    const SettingDef& volume = Setting("group-volume");
    EXPECT_EQ(volume.low, 0);
    EXPECT_EQ(volume.high, 15);
    EXPECT_EQ(BuildSettingBody(volume, 5), "command=~0081   5");
    EXPECT_EQ(BuildSettingBody(volume, 15), "command=~0081  15");
    EXPECT_EQ(BuildSetButtonBody(volume, 5), "command=~0081 005");
    EXPECT_EQ(BuildSetButtonBody(volume, 0), "command=~0081 000");
    EXPECT_EQ(BuildSettingBody(volume, 16), std::nullopt);
    EXPECT_EQ(BuildSetButtonBody(volume, 16), std::nullopt);
    EXPECT_EQ(BuildSetButtonBody(volume, -1), std::nullopt);
    // Settings without a separate "Set" form write the value as the up-down does.
    EXPECT_EQ(BuildSetButtonBody(Setting("volume"), 7), "command=~0081 7");
    EXPECT_EQ(BuildSetButtonBody(Setting("freeze"), 1), std::nullopt);
}

TEST(SettingCatalogTest, ValuesOutsideTheRangeBuildNothing) {
    EXPECT_EQ(BuildSettingBody(Setting("volume"), 11), std::nullopt);
    EXPECT_EQ(BuildSettingBody(Setting("volume"), -1), std::nullopt);
    EXPECT_EQ(BuildSettingBody(Setting("zoom"), -6), std::nullopt);
    EXPECT_EQ(BuildSettingBody(Setting("auto-power-off"), 181), std::nullopt);
    EXPECT_EQ(BuildSettingBody(Setting("source"), 6), std::nullopt);
    EXPECT_EQ(BuildSettingBody(Setting("source"), -1), std::nullopt);
    EXPECT_EQ(BuildSettingBody(Setting("freeze"), 2), std::nullopt);
    EXPECT_EQ(BuildSettingBody(Setting("resync"), 1), std::nullopt);
}

}  // namespace
}  // namespace vistrel

namespace vistrel {
namespace {

TEST(SettingCatalogTest, ModelsOfferTheirOwnDisplayModesAndControls) {
    const auto same = [](std::optional<OptionTable> got, OptionTable want) {
        return got && got->data() == want.data();
    };
    for (const char* model : {"1", "2", "4"}) {
        EXPECT_TRUE(same(DisplayModeListFor(model, 0), kDisplayModeListA)) << model;
        EXPECT_TRUE(same(DisplayModeListFor(model, 1), kDisplayModeListA)) << model;
    }
    EXPECT_TRUE(same(DisplayModeListFor("5", 0), kDisplayModeListA));
    EXPECT_TRUE(same(DisplayModeListFor("6", 0), kDisplayModeListB));
    EXPECT_TRUE(same(DisplayModeListFor("7", 1), kDisplayModeListC));
    // A 3D flag the console cannot read leaves the list as it was.
    EXPECT_FALSE(DisplayModeListFor("7", 2));
    EXPECT_FALSE(DisplayModeListFor("", 0));
    EXPECT_FALSE(DisplayModeListFor("3", 0));
    EXPECT_FALSE(DisplayModeListFor("66", 0));

    EXPECT_EQ(OffersClosedCaptioning("1"), false);
    EXPECT_EQ(OffersClosedCaptioning("5"), false);
    EXPECT_EQ(OffersClosedCaptioning("6"), true);
    EXPECT_EQ(OffersClosedCaptioning("8"), std::nullopt);
    EXPECT_EQ(OffersAutoKeystone("2"), false);
    EXPECT_EQ(OffersAutoKeystone("4"), true);
    EXPECT_EQ(OffersAutoKeystone(""), std::nullopt);
}

TEST(SettingCatalogTest, DisplayModeRowsAreNamedByEveryListAndReadBackWith3d) {
    const SettingDef& mode = Setting("display-mode");
    // List A's modes keep their rows; lists B and C name User-1 "User"; 3D follows list A.
    EXPECT_EQ(ChoiceRowByLabel(mode, "user-2"), 5);
    EXPECT_EQ(ChoiceRowByLabel(mode, "User"), 4);
    EXPECT_EQ(CommandAt(mode.options, *ChoiceRowByLabel(mode, "3d")), "~0020 9");
    EXPECT_EQ(ChoiceRowByLabel(mode, "Sepia"), std::nullopt);
    // Lists B and C are not searched for a setting without other lists.
    EXPECT_EQ(ChoiceRowByLabel(Setting("logo"), "User"), 1);
    EXPECT_EQ(ChoiceRowByLabel(Setting("degamma"), "User"), std::nullopt);

    std::string reply = std::string(kControlReplyPrefix) + std::string(70, '0');
    reply[mode.offset] = '9';
    EXPECT_EQ(LabelAt(mode.options, *CurrentValue(mode, reply)), "3D");
    reply[mode.offset] = '0';
    EXPECT_EQ(CurrentValue(mode, reply), -1);  // "None" is not a mode to copy
}

}  // namespace
}  // namespace vistrel
