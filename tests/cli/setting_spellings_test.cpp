// Every value of every page setting can be named on the command line: each label of each
// list (the display mode's lists B and C included), each toggle state, each end of each
// range, and what a projector reports reads back as a spelling that sends the same command.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

#include "cli/cli_options.h"
#include "cli/setting_names.h"
#include "protocol/codec.h"
#include "protocol/setting_catalog.h"

namespace vistrel::cli::test {
namespace {

using ::testing::HasSubstr;

// The value "set" keeps for NAME=VALUE and the body that sends it.
std::string BodyFor(const SettingDef& def, const std::string& value) {
    const SettingAssignment a = ParseAssignment(std::string(def.name) + "=" + value);
    return CatalogBody(def, a.value).value_or("(none)");
}

// A control reply that reports `value` in the setting's field and zeros elsewhere.
std::string ControlReplyWith(const SettingDef& def, int value) {
    std::string reply = std::string(kControlReplyPrefix) + std::string(80, '0');
    std::string digits = std::to_string(value);
    digits.insert(0, def.width - digits.size(), '0');
    reply.replace(def.offset, def.width, digits);
    return reply;
}

const SettingName& Registered(const SettingDef& def) {
    const SettingName* name = Settings().Find(def.name);
    EXPECT_NE(name, nullptr) << def.name;
    return *name;
}

TEST(SettingSpellingsTest, EveryListLabelIsOneDocumentedSpellingOfOneCommand) {
    size_t labels = 0;
    for (const SettingDef& def : AllSettings()) {
        if (def.groupVariant || def.kind != vistrel::SettingKind::Choice)
            continue;
        const std::string spec = ValueSpec(Registered(def));
        // Spelling (any case) to the command it sends, across the setting's lists.
        std::map<std::string, std::string> commands;
        std::vector<OptionTable> lists = {def.options};
        lists.insert(lists.end(), def.otherLists.begin(), def.otherLists.end());
        for (OptionTable list : lists) {
            for (int r = 0; r < RowCount(list); ++r) {
                const std::string label(LabelAt(list, r));
                const std::string command(CommandAt(list, r));
                std::string lower = label;
                for (char& c : lower)
                    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                const auto [it, fresh] = commands.emplace(lower, command);
                EXPECT_EQ(it->second, command) << def.name << ": " << label << " names two";
                if (command.empty()) {
                    // Reported by projectors ("None"), never sent.
                    EXPECT_THROW(ParseAssignment(std::string(def.name) + "=" + label), UsageError);
                    continue;
                }
                ++labels;
                EXPECT_EQ(BodyFor(def, label), BuildCommand(command)) << def.name << " " << label;
                EXPECT_EQ(BodyFor(def, lower), BuildCommand(command)) << def.name << " " << label;
                EXPECT_THAT("|" + spec + "|", HasSubstr("|" + label + "|")) << def.name;
            }
        }
        // What a projector reports reads back as a spelling that sends that row again.
        for (int r = 0; r < RowCount(def.options); ++r) {
            if (CommandAt(def.options, r).empty())
                continue;
            const int reported = def.key == ChoiceKey::Code ? def.options[r].code : r;
            const auto text = CatalogValueText(def, ControlReplyWith(def, reported));
            ASSERT_TRUE(text) << def.name;
            EXPECT_EQ(BodyFor(def, *text), BuildCommand(CommandAt(def.options, r))) << def.name;
        }
    }
    // The 52 sendable labels of the lists the pages show, lists B and C included.
    EXPECT_EQ(labels, 52u);
    EXPECT_EQ(BodyFor(Setting("display-mode"), "3D"), "command=~0020 9");
    EXPECT_EQ(BodyFor(Setting("display-mode"), "user"), "command=~0020 5");
}

TEST(SettingSpellingsTest, TogglesNumbersTextsAndActionsHaveTheirSpellings) {
    for (const SettingDef& def : AllSettings()) {
        if (def.groupVariant)
            continue;
        const std::string name(def.name);
        switch (def.kind) {
            case vistrel::SettingKind::Toggle:
                EXPECT_EQ(BodyFor(def, "on"), BuildCommand(def.onCode)) << name;
                EXPECT_EQ(BodyFor(def, "OFF"), BuildCommand(def.offCode)) << name;
                if (def.width > 0) {
                    const int onDigit = def.inverted ? 0 : 1;
                    EXPECT_EQ(CatalogValueText(def, ControlReplyWith(def, onDigit)), "on") << name;
                }
                break;
            case vistrel::SettingKind::Number:
                for (int value : {def.low, def.high}) {
                    EXPECT_EQ(BodyFor(def, std::to_string(value)), *BuildSettingBody(def, value))
                        << name;
                }
                EXPECT_THROW(ParseAssignment(name + "=" + std::to_string(def.high + 1)),
                             UsageError);
                EXPECT_THROW(ParseAssignment(name + "=" + std::to_string(def.low - 1)), UsageError);
                break;
            case vistrel::SettingKind::Text:
                EXPECT_EQ(BodyFor(def, "Exam"), BuildTextSettingBody(def, "Exam")) << name;
                break;
            case vistrel::SettingKind::Action:
                EXPECT_EQ(CatalogBody(def, ParseAssignment(name).value), BuildActionBody(def))
                    << name;
                break;
            case vistrel::SettingKind::Choice:
                break;
        }
    }
}

// Odd bytes on the command line: an address with a NUL inside is no address, and a refusal
// never echoes control bytes or broken UTF-8 to the terminal.
TEST(SettingSpellings, OddBytesAreRefusedAndShownEscaped) {
    EXPECT_FALSE(
        IsDottedQuad(std::string("192.168.1.2\0"
                                 "1",
                                 13)));
    EXPECT_TRUE(IsDottedQuad("192.168.1.21"));
    const std::pair<std::string, std::string> cases[] = {
        {std::string("ip=10.0.0.1\0evil", 17), "\\x00"},
        {"nosuch\x1b[2J=1", "nosuch\\x1B[2J"},
        {"dhcp=\xff\xfe", "\\xFF\\xFE"},
    };
    for (const auto& [word, shown] : cases) {
        try {
            ParseAssignment(word);
            ADD_FAILURE() << "accepted " << shown;
        } catch (const UsageError& e) {
            const std::string message = e.what();
            EXPECT_THAT(message, HasSubstr(shown));
            for (unsigned char c : message)
                EXPECT_TRUE(c >= 0x20 && c < 0x7F) << message;
        }
    }
}

}  // namespace
}  // namespace vistrel::cli::test
