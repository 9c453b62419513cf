#include "cli/cli_options.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

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
