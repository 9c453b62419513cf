#include "cli/cli_options.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cli/cli_command.h"

namespace vistrel::cli {
namespace {

using ::testing::HasSubstr;

CliOptions Parse(std::vector<std::string> args) {
    return ParseArguments(args);
}

// The message of the usage error that `args` raise; fails the test when they parse.
std::string UsageMessage(std::vector<std::string> args) {
    try {
        ParseArguments(args);
    } catch (const UsageError& e) {
        return e.what();
    }
    ADD_FAILURE() << "parsed without a usage error";
    return {};
}

TEST(CliOptionsTest, DefaultsAreTheRealNetworkAndTheWindowsApplicationKey) {
    const CliOptions o = Parse({"discover"});
    EXPECT_EQ(o.command, Command::Discover);
    EXPECT_EQ(o.profile.broadcastAddress, "255.255.255.255");
    EXPECT_EQ(o.profile.discoveryPort, 250);
    EXPECT_EQ(o.profile.httpPort, 80);
    EXPECT_EQ(o.appName, "vistrel");
    EXPECT_EQ(o.format, OutputFormat::Table);
    EXPECT_FALSE(o.timeoutMs);
    EXPECT_FALSE(o.waitSeconds);
}

TEST(CliOptionsTest, SharedOptionsGoAnywhereAndTakeBothSpellings) {
    const CliOptions o =
        Parse({"--json", "power", "on", "127.0.10.2", "--timeout=1500", "--broadcast",
               "127.255.255.255", "--discovery-port", "5250", "--http-port=8080", "127.0.10.3",
               "127.0.10.2", "--wait", "0.5", "--app-name", "Vistrel2", "--bind", "127.0.10.1"});
    EXPECT_EQ(o.command, Command::Power);
    EXPECT_TRUE(o.powerOn);
    EXPECT_EQ(o.ips, (std::vector<std::string>{"127.0.10.2", "127.0.10.3"}));  // deduplicated
    EXPECT_EQ(o.format, OutputFormat::Json);
    EXPECT_EQ(o.timeoutMs, 1500);
    EXPECT_EQ(o.profile.broadcastAddress, "127.255.255.255");
    EXPECT_EQ(o.profile.bindAddress, "127.0.10.1");
    EXPECT_EQ(o.profile.discoveryPort, 5250);
    EXPECT_EQ(o.profile.httpPort, 8080);
    EXPECT_DOUBLE_EQ(*o.waitSeconds, 0.5);
    EXPECT_EQ(o.appName, "Vistrel2");
}

TEST(CliOptionsTest, CommandsAndTheirWords) {
    EXPECT_EQ(Parse({"source", "hdmi", "10.0.0.5"}).sourceLabel, "HDMI");
    EXPECT_EQ(Parse({"source", "S-Video", "10.0.0.5"}).sourceLabel, "S-Video");

    const CliOptions g = Parse({"group", "set", "Lab 1", "--name", "Left", "10.0.0.5", "--csv"});
    EXPECT_EQ(g.command, Command::GroupSet);
    EXPECT_EQ(g.groupName, "Lab 1");
    EXPECT_EQ(g.projectorName, "Left");
    EXPECT_EQ(g.format, OutputFormat::Csv);
    EXPECT_EQ(Parse({"group", "set", "", "10.0.0.5"}).groupName, "");  // out of every group

    EXPECT_EQ(Parse({"query", "control", "10.0.0.5"}).topic, "control");
    const CliOptions s = Parse({"send", "--", "command=~0000 1", "10.0.0.5"});
    EXPECT_EQ(s.body, "command=~0000 1");
    EXPECT_EQ(s.ips.front(), "10.0.0.5");
    EXPECT_EQ(Parse({"status"}).ips.size(), 0u);
    EXPECT_EQ(Parse({"run-schedules"}).command, Command::RunSchedules);
    EXPECT_EQ(Parse({"power", "off", "10.0.0.5", "--help"}).command, Command::Help);
    EXPECT_EQ(Parse({"help"}).command, Command::Help);
}

TEST(CliOptionsTest, ScheduleSetCollectsTheEdit) {
    const CliOptions o =
        Parse({"schedule", "set", "--group", "Lab", "--projector", "0011AABBCCDD", "--projector",
               "0011AABBCCEE", "--task", "3", "--enable", "--period", "Weekly", "--time", "07:30",
               "--date", "2024-02-29", "--command", "off"});
    EXPECT_EQ(o.command, Command::ScheduleSet);
    EXPECT_EQ(o.scheduleGroup, "Lab");
    EXPECT_EQ(o.projectorMacs.size(), 2u);
    EXPECT_EQ(o.edit.task, 3);
    EXPECT_EQ(o.edit.enabled, true);
    EXPECT_EQ(o.edit.period, 2);
    EXPECT_EQ(o.edit.command, 1);
    EXPECT_EQ(o.edit.hour, 7);
    EXPECT_EQ(o.edit.minute, 30);
    EXPECT_EQ(o.edit.second, 0);
    EXPECT_EQ(o.edit.year, 2024);
    EXPECT_EQ(o.edit.day, 29);
    // The window stores its every-projector view's tasks under that name.
    EXPECT_EQ(Parse({"schedule", "list", "--group", "All Projectors"}).scheduleGroup,
              "All Projectors");
}

TEST(CliOptionsTest, UsageErrorsSayWhatIsWrong) {
    EXPECT_THAT(UsageMessage({}), HasSubstr("no command"));
    EXPECT_THAT(UsageMessage({"frobnicate"}), HasSubstr("unknown command \"frobnicate\""));
    EXPECT_THAT(UsageMessage({"power", "up", "10.0.0.5"}), HasSubstr("power on|off IP..."));
    EXPECT_THAT(UsageMessage({"power", "on"}), HasSubstr("at least one projector address"));
    EXPECT_THAT(UsageMessage({"power", "on", "10.0.0.300"}), HasSubstr("not a projector address"));
    EXPECT_THAT(UsageMessage({"source", "DVI", "10.0.0.5"}),
                HasSubstr("None, HDMI, VGA-1, VGA-2, S-Video, Video"));
    EXPECT_THAT(UsageMessage({"query", "lamp", "10.0.0.5"}), HasSubstr("info, group, model"));
    EXPECT_THAT(UsageMessage({"status", "--timeout", "0"}), HasSubstr("1 to 300000"));
    EXPECT_THAT(UsageMessage({"status", "--http-port", "65536"}), HasSubstr("1 to 65535"));
    EXPECT_THAT(UsageMessage({"status", "--broadcast", "everyone"}), HasSubstr("IPv4 address"));
    EXPECT_THAT(UsageMessage({"status", "--json", "--csv"}), HasSubstr("exclude each other"));
    EXPECT_THAT(UsageMessage({"status", "--verbose"}), HasSubstr("unknown option --verbose"));
    EXPECT_THAT(UsageMessage({"status", "--timeout"}), HasSubstr("--timeout needs a value"));
    EXPECT_THAT(UsageMessage({"status", "--json=yes"}), HasSubstr("takes no value"));
    EXPECT_THAT(UsageMessage({"status", "--name", "x"}), HasSubstr("belongs to group set"));
    EXPECT_THAT(UsageMessage({"source", "HDMI", "10.0.0.5", "--wait", "5"}),
                HasSubstr("not to source"));
    EXPECT_THAT(UsageMessage({"discover", "--wait", "-1"}), HasSubstr("0 to 3600"));
    EXPECT_THAT(UsageMessage({"discover", "10.0.0.5"}), HasSubstr("usage: vistrel-cli discover"));
    // Every message points to the help.
    EXPECT_THAT(UsageMessage({"status", "--verbose"}), HasSubstr("vistrel-cli --help"));
}

TEST(CliOptionsTest, NamesAreCheckedAgainstTheWireAndTheStore) {
    const std::string name32(32, 'g');
    EXPECT_EQ(Parse({"group", "set", name32, "10.0.0.5"}).groupName, name32);
    EXPECT_THAT(UsageMessage({"group", "set", name32 + "g", "10.0.0.5"}),
                HasSubstr("33 bytes long; projectors store at most 32"));
    // 11 two-byte characters are 22 characters but 33 bytes.
    std::string wide;
    for (int i = 0; i < 11; ++i)
        wide += "\xC3\xA9\x41";
    EXPECT_THAT(UsageMessage({"group", "set", wide, "10.0.0.5"}), HasSubstr("33 bytes"));
    EXPECT_THAT(UsageMessage({"group", "set", "A\\B", "10.0.0.5"}), HasSubstr("backslash"));
    EXPECT_THAT(UsageMessage({"group", "set", "All Projectors", "10.0.0.5"}),
                HasSubstr("view of every projector"));
    EXPECT_THAT(UsageMessage({"group", "set", "Lab", "--name", name32 + "n", "10.0.0.5"}),
                HasSubstr("projector name"));
    EXPECT_EQ(Parse({"group", "set", "Lab", "--name", "A\\B", "10.0.0.5"}).projectorName, "A\\B");
    EXPECT_THAT(UsageMessage({"schedule", "list", "--projector", "00A0"}),
                HasSubstr("12 characters"));
    EXPECT_THAT(UsageMessage({"schedule", "list", "--projector", "00A0B1C2\\3E4"}),
                HasSubstr("backslash"));
    EXPECT_THAT(UsageMessage({"schedule", "list", "--group", "A\\B"}), HasSubstr("backslash"));
}

TEST(CliOptionsTest, ScheduleUsageErrors) {
    EXPECT_THAT(UsageMessage({"schedule"}), HasSubstr("schedule list|set"));
    EXPECT_THAT(UsageMessage({"schedule", "list", "--projector", "0011AABBCCDD", "--group", "Lab"}),
                HasSubstr("not both"));
    EXPECT_THAT(UsageMessage({"schedule", "set", "--task", "1"}), HasSubstr("--projector MAC or"));
    EXPECT_THAT(UsageMessage({"schedule", "set", "--group", "Lab"}), HasSubstr("needs --task"));
    EXPECT_THAT(UsageMessage({"schedule", "set", "--group", "Lab", "--task", "5"}),
                HasSubstr("1 to 4"));
    EXPECT_THAT(
        UsageMessage({"schedule", "set", "--group", "Lab", "--task", "1", "--enable", "--disable"}),
        HasSubstr("exclude each other"));
    EXPECT_THAT(UsageMessage({"schedule", "set", "--group", "L", "--task", "1", "--time", "7:3"}),
                HasSubstr("HH:MM"));
    EXPECT_THAT(UsageMessage({"schedule", "set", "--group", "L", "--task", "1", "--time", "24:00"}),
                HasSubstr("HH:MM"));
    EXPECT_THAT(
        UsageMessage({"schedule", "set", "--group", "L", "--task", "1", "--date", "2023-02-29"}),
        HasSubstr("not a calendar date"));
    EXPECT_THAT(
        UsageMessage({"schedule", "set", "--group", "L", "--task", "1", "--period", "hourly"}),
        HasSubstr("once, daily, weekly or monthly"));
    EXPECT_THAT(
        UsageMessage({"schedule", "set", "--group", "L", "--task", "1", "--command", "reboot"}),
        HasSubstr("on or off"));
    EXPECT_THAT(UsageMessage({"schedule", "list", "--task", "1"}),
                HasSubstr("belongs to schedule set"));
}

}  // namespace
}  // namespace vistrel::cli

namespace vistrel::cli {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

CliOptions ParseNew(std::vector<std::string> args) {
    return ParseArguments(args);
}

std::string Refusal(std::vector<std::string> args) {
    try {
        ParseArguments(args);
    } catch (const UsageError& e) {
        return e.what();
    }
    ADD_FAILURE() << "parsed without a usage error";
    return {};
}

TEST(CliCommandLineTest, TargetsMixAddressesIdentitiesAndSelections) {
    const CliOptions o = ParseNew({"power", "off", "10.0.0.5", "00A0B1C2D3E4", "--group", "Lecture",
                                   "--ticked", "--all", "--wait", "3"});
    EXPECT_EQ(o.ips, std::vector<std::string>{"10.0.0.5"});
    EXPECT_EQ(o.targetMacs, std::vector<std::string>{"00A0B1C2D3E4"});
    EXPECT_EQ(o.targetGroup, "Lecture");
    EXPECT_TRUE(o.ticked);
    EXPECT_TRUE(o.all);
    EXPECT_TRUE(NeedsTargetResolution(o));
    EXPECT_FALSE(NeedsTargetResolution(ParseNew({"power", "on", "10.0.0.5"})));
    EXPECT_TRUE(ParseNew({"source", "HDMI", "--ticked"}).ticked);
    // A mistyped address is neither an address nor an identity.
    EXPECT_THAT(Refusal({"power", "on", "10.0.0.3000x"}), HasSubstr("not a projector address"));
    EXPECT_THAT(Refusal({"power", "on", "--group", "A", "--group", "B"}), HasSubstr("once"));
    EXPECT_THAT(Refusal({"discover", "--ticked"}), HasSubstr("--ticked belongs to"));
}

TEST(CliCommandLineTest, PageSettingsAreReadAsTheirPagesSpellThem) {
    const CliOptions o =
        ParseNew({"set", "display-mode=movie", "Freeze=ON", "resync", "zoom=-5", "10.0.0.5"});
    ASSERT_EQ(o.assignments.size(), 4u);
    EXPECT_EQ(o.assignments[0].value, "Movie");
    EXPECT_EQ(o.assignments[1].name, "freeze");
    EXPECT_EQ(o.assignments[1].value, "on");
    EXPECT_EQ(o.assignments[2].name, "resync");
    EXPECT_EQ(o.assignments[3].value, "-5");
    EXPECT_EQ(o.ips, std::vector<std::string>{"10.0.0.5"});
    EXPECT_THAT(Refusal({"set", "zoom=-6", "10.0.0.5"}),
                HasSubstr("Please enter an integer between -5 and 25."));
    // No whole number at all: the window's other message.
    EXPECT_THAT(Refusal({"set", "volume=3x", "10.0.0.5"}), HasSubstr("Please enter an integer."));
    EXPECT_THAT(Refusal({"set", "volume=", "10.0.0.5"}), HasSubstr("Please enter an integer."));
    EXPECT_THAT(Refusal({"set", "reset-all=yes", "10.0.0.5"}), HasSubstr("takes no value"));
    // "None" is what a projector without a signal reports, not a source to switch to.
    EXPECT_THAT(Refusal({"set", "source=none", "10.0.0.5"}), HasSubstr("one of HDMI, VGA-1"));

    const CliOptions get = ParseNew({"get", "brightness", "10.0.0.5", "logo", "brightness"});
    EXPECT_EQ(get.command, Command::Get);
    EXPECT_EQ(get.settingNames, (std::vector<std::string>{"brightness", "logo"}));
    EXPECT_EQ(get.ips, std::vector<std::string>{"10.0.0.5"});
    EXPECT_THAT(Refusal({"get", "display-message", "10.0.0.5"}), HasSubstr("cannot be read"));
    EXPECT_THAT(Refusal({"get", "brightness"}), HasSubstr("at least one projector"));

    const CliOptions import =
        ParseNew({"import", "room.json", "--only", "Picture", "--dry-run", "10.0.0.5", "10.0.0.6"});
    EXPECT_EQ(import.importFile, "room.json");
    EXPECT_EQ(import.importParts, std::vector<std::string>{"picture"});
    EXPECT_TRUE(import.dryRun);
    EXPECT_EQ(import.ips.size(), 2u);
    // Identity and network only when asked; parts come out in the order they are applied.
    using Parts = std::vector<std::string>;
    EXPECT_EQ(ParseNew({"import", "room.json", "10.0.0.5"}).importParts,
              (Parts{"picture", "display", "settings", "alert"}));
    EXPECT_EQ(
        ParseNew({"import", "room.json", "10.0.0.5", "--include", "network,IDENTITY"}).importParts,
        (Parts{"picture", "display", "settings", "alert", "identity", "network"}));
    EXPECT_EQ(ParseNew({"import", "room.json", "10.0.0.5", "--only", "alert", "--only",
                        "network,display"})
                  .importParts,
              (Parts{"display", "alert", "network"}));
    EXPECT_THAT(Refusal({"import", "room.json", "--only", "lamp", "10.0.0.5"}),
                HasSubstr("picture, display, settings, alert, identity, network"));
    EXPECT_THAT(Refusal({"import", "room.json", "--include", "picture", "10.0.0.5"}),
                HasSubstr("takes identity, network"));
    EXPECT_EQ(
        ParseNew({"import", "room.json", "10.0.0.5", "--smtp-password", "-"}).smtpPasswordSource,
        "-");
    EXPECT_THAT(Refusal({"import", "room.json", "10.0.0.5", "--smtp-password", "hunter2"}),
                HasSubstr("never taken from the command line"));
    EXPECT_THAT(Refusal({"export", "10.0.0.5", "10.0.0.6"}), HasSubstr("usage"));
}

TEST(CliCommandLineTest, SetTakesRegisteredNamesInAnyOrderWithTheTargets) {
    const CliOptions o = ParseNew(
        {"set", "DHCP=Off", "10.0.0.5", "mail-to=av@example.org", "alert-lamp-fail=ON", "--all"});
    EXPECT_EQ(o.command, Command::Set);
    ASSERT_EQ(o.assignments.size(), 3u);
    EXPECT_EQ(o.assignments[0].name, "dhcp");
    EXPECT_EQ(o.assignments[0].value, "off");
    EXPECT_EQ(o.assignments[1].value, "av@example.org");
    EXPECT_EQ(o.assignments[2].value, "on");
    EXPECT_EQ(o.ips, std::vector<std::string>{"10.0.0.5"});
    EXPECT_EQ(ParseNew({"set", "smtp-password=@/run/pw", "10.0.0.5"}).assignments[0].value,
              "@/run/pw");
    EXPECT_EQ(ParseNew({"set", "ip=10.0.0.9", "00A0B1C2D3E4"}).targetMacs.size(), 1u);
    EXPECT_THAT(Refusal({"set", "dhcp=on"}), HasSubstr("at least one projector"));
    EXPECT_THAT(Refusal({"set", "lamp-colour=3", "10.0.0.5"}), HasSubstr("dhcp, ip, mask"));
    EXPECT_THAT(Refusal({"set", "ip=10.0.0.9", "--all"}), HasSubstr("moves one projector"));
    EXPECT_THAT(Refusal({"set", "smtp-password=", "10.0.0.5"}), HasSubstr("=@FILE"));
    EXPECT_THAT(Refusal({"set", "mail-to=a\tb", "10.0.0.5"}), HasSubstr("control character"));
}

TEST(CliCommandLineTest, ConfigCompletionVersionAndHelpComeFromTheDefinitions) {
    const CliOptions add = ParseNew({"config", "broadcast", "add", "10.1.2.255", "10.1.3.255"});
    EXPECT_EQ(add.command, Command::ConfigBroadcast);
    EXPECT_EQ(add.configAction, ConfigAction::Add);
    EXPECT_EQ(add.configAddresses.size(), 2u);
    EXPECT_EQ(ParseNew({"config", "broadcast"}).configAction, ConfigAction::List);
    EXPECT_THAT(Refusal({"config", "broadcast", "remove"}), HasSubstr("at least one address"));
    EXPECT_THAT(Refusal({"config", "broadcast", "add", "10.1.2"}), HasSubstr("IPv4 address"));

    const CliOptions repeated = ParseNew({"discover", "--broadcast", "10.1.2.255", "--broadcast",
                                          "10.1.3.255", "--broadcast", "10.1.2.255"});
    EXPECT_TRUE(repeated.broadcastGiven);
    EXPECT_EQ(repeated.profile.broadcastAddress, "10.1.2.255");
    EXPECT_EQ(repeated.profile.directedBroadcasts, std::vector<std::string>{"10.1.3.255"});
    EXPECT_FALSE(ParseNew({"discover"}).broadcastGiven);

    const std::string script = ParseNew({"completion", "bash"}).text;
    EXPECT_THAT(script, HasSubstr("complete -F _vistrel_cli vistrel-cli"));
    for (const SettingName& s : Settings().All())
        EXPECT_THAT(script, HasSubstr(s.name + "= ")) << s.name;
    EXPECT_THAT(script, HasSubstr("S-Video"));
    EXPECT_THAT(script, HasSubstr("\"/schedule/set\") words="));
    EXPECT_THAT(script, HasSubstr("--ticked"));

    const CliOptions version = ParseNew({"--version"});
    EXPECT_EQ(version.command, Command::Version);
    EXPECT_THAT(version.text, HasSubstr("vistrel-cli "));
    const std::string setHelp = ParseNew({"set", "--help"}).text;
    EXPECT_THAT(setHelp, HasSubstr("Usage: vistrel-cli set"));
    EXPECT_THAT(setHelp, HasSubstr("admin-password=-|@FILE"));
    EXPECT_EQ(ParseNew({"help", "set"}).text, setHelp);
    const std::string top = ParseNew({"--help"}).text;
    EXPECT_THAT(top, HasSubstr("Usage: vistrel-cli"));
    EXPECT_THAT(top, HasSubstr("alert-test"));
    EXPECT_THAT(top, Not(HasSubstr("SUBCOMMAND")));
    // After "--" every word is an argument, however it begins.
    const CliOptions odd = ParseNew({"send", "--", "-odd-body", "10.0.0.5"});
    EXPECT_EQ(odd.body, "-odd-body");
    EXPECT_EQ(odd.ips, std::vector<std::string>{"10.0.0.5"});
    EXPECT_THAT(Refusal({"send", "--", "-odd-body"}), HasSubstr("usage: vistrel-cli send"));
}

// Each command brings its own checks and handler; the runner has no list of its own.
TEST(CliCommandLineTest, EveryCommandRegistersItsChecksAndHandler) {
    CommandTree tree;
    for (const auto& command : tree.commands) {
        SCOPED_TRACE(command->words);
        EXPECT_TRUE(command->parse);
        EXPECT_NE(command->run, nullptr);
    }
    EXPECT_NE(ParseNew({"status", "10.0.0.5"}).run, nullptr);
    EXPECT_NE(ParseNew({"--version"}).run, nullptr);
    // A bad value is refused wherever it stands, not only as the last of a repeated option;
    // asking for help still gets help.
    EXPECT_THAT(Refusal({"status", "--timeout", "0", "--timeout", "5"}),
                HasSubstr("--timeout needs milliseconds from 1 to 300000, not \"0\""));
    EXPECT_THAT(Refusal({"schedule", "set", "--group", "Lab", "--task", "1", "--period", "x",
                         "--period", "daily"}),
                HasSubstr("--period must be once"));
    const CliOptions help = ParseNew({"status", "--timeout", "abc", "--help"});
    EXPECT_EQ(help.command, Command::Help);
    EXPECT_THAT(help.text, HasSubstr("Usage: vistrel-cli status"));
}

}  // namespace
}  // namespace vistrel::cli
