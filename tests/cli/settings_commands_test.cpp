// get, set, settings --list, export and import of the settings pages' settings against the
// simulated fleet: what reaches each projector and what reads back.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "cli/cli_fixture.h"
#include "protocol/setting_catalog.h"

namespace vistrel::cli::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using json = nlohmann::json;

size_t HttpRequests(const sim::Fleet& fleet) {
    size_t n = 0;
    for (const auto& e : fleet.Log().Entries())
        n += e.kind == "http";
    return n;
}

bool Logged(const sim::Fleet& fleet, const std::string& ip, const std::string& body) {
    for (const auto& e : fleet.Log().Entries()) {
        if (e.kind == "http" && e.body == body && e.address == ip)
            return true;
    }
    return false;
}

void PowerAllOn(sim::FleetOptions& o) {
    for (auto& p : o.projectors)
        p.state.power = 1;
}

// The settings "get --json" read from one projector, by name.
std::map<std::string, json> Got(const CliRun& run, const std::string& ip) {
    std::map<std::string, json> values;
    for (const json& row : json::parse(run.out)) {
        if (row["ip"] == ip && row["result"] == "OK")
            values[row["setting"]] = row["value"];
    }
    return values;
}

TEST_F(CliTest, EveryKindOfPageSettingIsSetAndReadBack) {
    StartFleet(2, PowerAllOn);
    const CliRun set =
        Run({"set", "brightness=80", "zoom=-3", "color-temperature=cold", "display-mode=Classroom",
             "source=VGA-2", "freeze=on", "information-hide=on", "display-message=Exam in progress",
             "resync", "127.0.10.2", "127.0.10.3"});
    ASSERT_EQ(set.status, 0) << set.out << set.err;

    const CliRun get =
        Run({"get", "127.0.10.2", "127.0.10.3", "brightness", "zoom", "color-temperature",
             "display-mode", "source", "freeze", "information-hide", "--json"});
    ASSERT_EQ(get.status, 0) << get.err;
    for (const std::string ip : {"127.0.10.2", "127.0.10.3"}) {
        auto values = Got(get, ip);
        ASSERT_EQ(values.size(), 7u) << get.out;
        EXPECT_EQ(values["brightness"], 80);             // a number
        EXPECT_EQ(values["zoom"], -3);                   // a signed number
        EXPECT_EQ(values["color-temperature"], "Cold");  // a list read by position
        EXPECT_EQ(values["display-mode"], "Classroom");  // a list read by code
        EXPECT_EQ(values["source"], "VGA-2");
        EXPECT_EQ(values["freeze"], "on");
        EXPECT_EQ(values["information-hide"], "on");  // a toggle reported inverted
        EXPECT_TRUE(Logged(Fleet(), ip, BuildActionBody(Setting("resync"))));
    }
    for (size_t i = 0; i < 2; ++i)
        EXPECT_EQ(Fleet().State(i).control.message, "Exam in progress");

    // The table names every readable setting when none is asked for.
    const CliRun all = Run({"get", "127.0.10.2"});
    ASSERT_EQ(all.status, 0) << all.err;
    size_t readable = 0;
    for (const SettingDef& def : AllSettings())
        readable += def.width > 0 && !def.groupVariant;
    EXPECT_EQ(Lines(all.out).size(), readable + 1);
    EXPECT_THAT(all.out, HasSubstr("Classroom"));
}

TEST_F(CliTest, ARefusedPageSettingSendsNothing) {
    StartFleet(2, PowerAllOn);
    const CliRun range = Run({"set", "volume=5", "brightness=101", "127.0.10.2", "127.0.10.3"});
    EXPECT_EQ(range.status, 2);
    EXPECT_THAT(range.err, HasSubstr("Please enter an integer between 0 and 100."));
    const CliRun word = Run({"set", "volume=abc", "127.0.10.2"});
    EXPECT_EQ(word.status, 2);
    EXPECT_THAT(word.err, HasSubstr("Please enter an integer."));
    const CliRun label = Run({"set", "degamma=Sepia", "127.0.10.2"});
    EXPECT_EQ(label.status, 2);
    EXPECT_THAT(label.err, HasSubstr("Film, Video, Graphics, PC"));
    const CliRun toggle = Run({"set", "freeze=maybe", "127.0.10.2"});
    EXPECT_EQ(toggle.status, 2);
    const CliRun action = Run({"set", "resync=now", "127.0.10.2"});
    EXPECT_EQ(action.status, 2);
    const CliRun longText =
        Run({"set", "display-message=" + std::string(kDisplayMessageWidth + 1, 'x'), "127.0.10.2"});
    EXPECT_EQ(longText.status, 2);
    EXPECT_EQ(HttpRequests(Fleet()), 0u);
}

TEST_F(CliTest, WhatAModelDoesNotOfferIsRefusedForThatProjectorAlone) {
    StartFleet(3, [](sim::FleetOptions& o) {
        PowerAllOn(o);
        o.projectors[0].state.model = "1";  // list A, no closed captioning, no auto keystone
        o.projectors[1].state.model = "6";  // list B: no "User-2"
        o.projectors[2].state.model = "9";  // unknown: held back by nothing
        for (auto& p : o.projectors) {
            p.state.control.threeD = 0;
            p.state.control.brightness = 50;
            p.state.control.autoKeystone = 0;
        }
    });
    const std::vector<std::string> fleet = {"127.0.10.2", "127.0.10.3", "127.0.10.4"};
    std::vector<std::string> args = {"set", "display-mode=User-2", "brightness=44"};
    args.insert(args.end(), fleet.begin(), fleet.end());
    const CliRun mode = Run(args);
    EXPECT_EQ(mode.status, 1);
    EXPECT_THAT(mode.err, HasSubstr("127.0.10.3: model 6 does not offer display-mode=User-2"));
    EXPECT_EQ(Fleet().State(0).displayMode, 6);
    EXPECT_EQ(Fleet().State(2).displayMode, 6);
    EXPECT_EQ(Fleet().State(0).control.brightness, 44);
    // The refused projector got neither setting.
    EXPECT_NE(Fleet().State(1).control.brightness, 44);
    EXPECT_FALSE(Logged(Fleet(), "127.0.10.3", *BuildSettingBody(Setting("brightness"), 44)));

    args = {"set", "closed-captioning=CC1", "auto-keystone=on"};
    args.insert(args.end(), fleet.begin(), fleet.end());
    const CliRun caption = Run(args);
    EXPECT_EQ(caption.status, 1);
    EXPECT_THAT(caption.err, HasSubstr("127.0.10.2: model 1 does not offer"));
    EXPECT_THAT(caption.err, Not(HasSubstr("127.0.10.3")));
    EXPECT_THAT(caption.err, Not(HasSubstr("127.0.10.4")));
    EXPECT_EQ(Fleet().State(1).control.autoKeystone, 1);
    EXPECT_FALSE(Logged(Fleet(), "127.0.10.2", *BuildSettingBody(Setting("auto-keystone"), 1)));
}

TEST_F(CliTest, AProjectorThatRefusesASettingGetsNoMoreAndFailsTheRun) {
    StartFleet(2, [](sim::FleetOptions& o) {
        o.projectors[0].state.power = 1;
        o.projectors[1].state.power = 0;  // an off projector refuses picture commands
    });
    const CliRun run = Run({"set", "contrast=40", "sharpness=7", "127.0.10.2", "127.0.10.3"});
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.err, HasSubstr("127.0.10.3: failed at contrast"));
    EXPECT_EQ(Fleet().State(0).control.contrast, 40);
    EXPECT_EQ(Fleet().State(0).control.sharpness, 7);
    EXPECT_FALSE(Logged(Fleet(), "127.0.10.3", *BuildSettingBody(Setting("sharpness"), 7)));

    const CliRun get = Run({"get", "127.0.10.2", kNobody, "contrast", "--csv"});
    EXPECT_EQ(get.status, 1);
    EXPECT_THAT(get.out, HasSubstr("127.0.10.2,contrast,40,OK"));
    EXPECT_THAT(get.out, HasSubstr(std::string(kNobody) + ",,,unreachable"));
}

TEST_F(CliTest, ExportedPictureImportedOntoThreeProjectorsMakesTheirPicturesEqual) {
    StartFleet(4, [](sim::FleetOptions& o) {
        PowerAllOn(o);
        for (size_t i = 0; i < o.projectors.size(); ++i) {
            o.projectors[i].state.control.projectorId = static_cast<int>(i + 1);
            o.projectors[i].state.model = "6";  // every setting of the file is offered
        }
    });
    ASSERT_EQ(Run({"set", "projector-id=42", "brightness=33", "contrast=71", "sharpness=12",
                   "phase=9", "brilliant-color=4", "degamma=Graphics", "color-temperature=Warm",
                   "display-mode=sRGB", "127.0.10.2"})
                  .status,
              0);
    const CliRun exported = Run({"export", "127.0.10.2"});
    ASSERT_EQ(exported.status, 0) << exported.err;
    const std::filesystem::path file = dir_ / "room.json";
    std::ofstream(file) << exported.out;

    const std::vector<std::string> others = {"127.0.10.3", "127.0.10.4", "127.0.10.5"};
    // A dry run prints the bodies and sends none of them.
    const size_t before = HttpRequests(Fleet());
    std::vector<std::string> dry = {"import", file.string(), "--only", "picture", "--dry-run"};
    dry.insert(dry.end(), others.begin(), others.end());
    const CliRun dryRun = Run(dry);
    ASSERT_EQ(dryRun.status, 0) << dryRun.err;
    EXPECT_THAT(dryRun.out, HasSubstr(*BuildSettingBody(Setting("brightness"), 33)));
    EXPECT_EQ(HttpRequests(Fleet()), before);

    std::vector<std::string> import = {"import", file.string(), "--only", "picture", "--json"};
    import.insert(import.end(), others.begin(), others.end());
    const CliRun imported = Run(import);
    ASSERT_EQ(imported.status, 0) << imported.out << imported.err;

    std::vector<std::string> get = {"get", "--json", "127.0.10.2"};
    get.insert(get.end(), others.begin(), others.end());
    const CliRun read = Run(get);
    ASSERT_EQ(read.status, 0) << read.err;
    std::map<std::string, json> reference;
    for (const auto& [name, value] : Got(read, "127.0.10.2")) {
        if (Setting(name).page == SettingPage::Image)
            reference[name] = value;
    }
    EXPECT_EQ(reference["brightness"], 33);
    EXPECT_EQ(reference["display-mode"], "sRGB");
    for (const std::string& ip : others) {
        auto values = Got(read, ip);
        for (const auto& [name, value] : reference)
            EXPECT_EQ(values[name], value) << ip << " " << name;
    }
    // The projector ID names one projector: copied only when the identity is asked for.
    EXPECT_THAT(exported.out, HasSubstr("\"projector-id\": 42"));
    std::vector<std::string> everything = {"import", file.string()};
    everything.insert(everything.end(), others.begin(), others.end());
    const CliRun all = Run(everything);
    ASSERT_EQ(all.status, 0) << all.out << all.err;
    for (size_t i = 1; i < 4; ++i)
        EXPECT_EQ(Fleet().State(i).control.projectorId, static_cast<int>(i + 1));
}

TEST_F(CliTest, AControlReplyCutShortExportsAndShowsOnlyWhatItCarries) {
    StartFleet(1, [](sim::FleetOptions& o) {
        PowerAllOn(o);
        sim::ProjectorState& s = o.projectors[0].state;
        s.control.brightness = 33;
        s.control.contrast = 71;
        s.control.sleepTimer = 45;
        // The answer ends inside the contrast field (offsets 58 to 60).
        o.projectors[0].faults.truncate["control"] = 60;
    });
    const CliRun exported = Run({"export", "127.0.10.2"});
    ASSERT_EQ(exported.status, 0) << exported.err;
    const json settings = json::parse(exported.out)["settings"];
    EXPECT_EQ(settings["brightness"], 33);
    // Neither the first digits of the contrast ("07") nor a 0 for what is missing, which an
    // import would then write onto other projectors.
    EXPECT_FALSE(settings.contains("contrast")) << exported.out;
    EXPECT_FALSE(settings.contains("sleep-timer")) << exported.out;
    EXPECT_FALSE(settings.contains("auto-keystone")) << exported.out;

    const CliRun get = Run({"get", "127.0.10.2", "brightness", "contrast", "--json"});
    ASSERT_EQ(get.status, 0) << get.err;
    auto values = Got(get, "127.0.10.2");
    EXPECT_EQ(values["brightness"], 33);
    EXPECT_TRUE(values["contrast"].is_null()) << get.out;
}

TEST_F(CliTest, ImportRefusesABadFileBeforeSendingAnything) {
    StartFleet(1, PowerAllOn);
    const std::filesystem::path file = dir_ / "bad.json";
    std::ofstream(file) << R"({"settings": {"brightness": 50, "contrast": 400}})";
    const CliRun range = Run({"import", file.string(), "127.0.10.2"});
    EXPECT_EQ(range.status, 2);
    EXPECT_THAT(range.err, HasSubstr("Please enter an integer between 0 and 100."));
    std::ofstream(file) << R"({"settings": {"lamp-colour": "blue"}})";
    EXPECT_EQ(Run({"import", file.string(), "127.0.10.2"}).status, 2);
    std::ofstream(file) << "not json";
    EXPECT_EQ(Run({"import", file.string(), "127.0.10.2"}).status, 2);
    EXPECT_EQ(HttpRequests(Fleet()), 0u);
}

TEST_F(CliTest, SettingsListNamesEverySettingWithItsValues) {
    const CliRun run = Run({"settings", "--list", "--json"}, false);
    ASSERT_EQ(run.status, 0) << run.err;
    std::map<std::string, std::string> values;
    for (const json& row : json::parse(run.out))
        values[row["name"]] = row["values"];
    for (const SettingDef& def : AllSettings())
        EXPECT_EQ(values.count(std::string(def.name)), def.groupVariant ? 0u : 1u) << def.name;
    EXPECT_EQ(values["brightness"], "0..100");
    EXPECT_EQ(values["zoom"], "-5..25");
    EXPECT_EQ(values["color-temperature"], "Warm|Medium|Cold");
    EXPECT_EQ(values["freeze"], "on|off");
    EXPECT_EQ(values["dhcp"], "on|off");
    EXPECT_EQ(Run({"settings"}, false).status, 2);
}

}  // namespace
}  // namespace vistrel::cli::test
