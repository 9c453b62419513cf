// PJLink projectors through vistrel-cli, against simulated ones on loopback test ports (the
// class-2 search is never used here: nothing is broadcast).
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "cli/cli_fixture.h"
#include "pjlink/pjlink_store.h"
#include "sim/pjlink_fleet.h"
#include "store/reg_store.h"

namespace vistrel::cli::test {
namespace {

using json = nlohmann::json;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr const char* kFirstPjlink = "127.0.12.2";

class PjlinkCliTest : public CliTest {
  protected:
    void TearDown() override {
        if (pjlink_)
            pjlink_->Stop();
        CliTest::TearDown();
    }

    // `count` simulated projectors from 127.0.12.2: every other one class 2, the third one
    // (127.0.12.4) with the password "panel".
    void StartPjlink(size_t count,
                     const std::function<void(sim::PjlinkFleetOptions&)>& adjust = {}) {
        sim::PjlinkFleetOptions options = sim::GeneratePjlinkFleet(count, kFirstPjlink);
        options.port = 0;
        options.searchPort = 0;
        options.transition = std::chrono::milliseconds(50);
        if (adjust)
            adjust(options);
        pjlink_ = std::make_unique<sim::PjlinkFleet>(std::move(options));
        std::string error;
        ASSERT_TRUE(pjlink_->Start(&error)) << error;
    }

    CliRun RunPj(std::vector<std::string> args, const std::atomic<bool>* stop = nullptr,
                 LiveText* live = nullptr) {
        args.push_back("--pjlink-port");
        args.push_back(std::to_string(pjlink_ ? pjlink_->Port() : 1));
        return Run(std::move(args), true, stop, live);
    }

    std::filesystem::path PasswordsFile() const {
        return pjlink::Passwords::DefaultPath(StoreFile());
    }

    static std::string ReadFile(const std::filesystem::path& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    // The "ip" member of each object of a JSON listing, in order.
    static std::vector<std::string> Ips(const std::string& text) {
        std::vector<std::string> ips;
        for (const auto& row : json::parse(text))
            ips.push_back(row["ip"]);
        return ips;
    }

    std::unique_ptr<sim::PjlinkFleet> pjlink_;
};

TEST_F(PjlinkCliTest, ScanFindsTheListeningProjectorsAndTheStoreRemembersThem) {
    StartPjlink(3);
    // 127.0.12.1 to .6 are tried; only .2 to .4 listen, and .4 asks for a password.
    CliRun scan = RunPj({"pjlink", "scan", "127.0.12.0/29", "--add", "--group", "Lab", "--json"});
    ASSERT_EQ(scan.status, kExitOk) << scan.err;
    const json found = json::parse(scan.out);
    ASSERT_EQ(Ips(scan.out), (std::vector<std::string>{"127.0.12.2", "127.0.12.3", "127.0.12.4"}));
    EXPECT_EQ(found[0]["password"], false);
    EXPECT_EQ(found[2]["password"], true);
    EXPECT_EQ(found[0]["result"], "added");
    EXPECT_THAT(scan.err, HasSubstr("3 of 6 addresses"));
    // The scan only connects: nothing reached a projector's command log.
    EXPECT_TRUE(pjlink_->Log().empty());

    CliRun add = RunPj({"pjlink", "add", "127.0.12.2", "127.0.12.9", "--json"});
    ASSERT_EQ(add.status, kExitOk) << add.err;
    EXPECT_EQ(json::parse(add.out)[0]["result"], "already known");
    EXPECT_EQ(json::parse(add.out)[0]["group"], "Lab");  // kept
    EXPECT_EQ(json::parse(add.out)[1]["result"], "added");
    EXPECT_EQ(RunPj({"pjlink", "add", "127.0.12.300"}).status, kExitUsage);
    EXPECT_EQ(RunPj({"pjlink", "add", "224.0.0.1"}).status, kExitUsage);

    CliRun remove = RunPj({"pjlink", "remove", "127.0.12.9", "127.0.12.77"});
    ASSERT_EQ(remove.status, kExitOk) << remove.err;
    EXPECT_THAT(remove.out, HasSubstr("removed"));
    EXPECT_THAT(remove.out, HasSubstr("not known"));

    CliRun list = RunPj({"pjlink", "list", "--json"});
    ASSERT_EQ(list.status, kExitOk) << list.err;
    EXPECT_EQ(Ips(list.out), (std::vector<std::string>{"127.0.12.2", "127.0.12.3", "127.0.12.4"}));
    EXPECT_EQ(json::parse(list.out)[1]["group"], "Lab");

    CliRun wide = RunPj({"pjlink", "scan", "10.0.0.0/15"});
    EXPECT_EQ(wide.status, kExitUsage);
    EXPECT_THAT(wide.err, HasSubstr("too wide"));
    EXPECT_EQ(RunPj({"pjlink", "scan", "10.0.0.0/33"}).status, kExitUsage);
}

TEST_F(PjlinkCliTest, PasswordsComeFromStandardInputAndAreNeverPrintedOrStored) {
    input_ = "fleet secret\n";
    CliRun fleet = Run({"pjlink", "password"}, false);
    ASSERT_EQ(fleet.status, kExitOk) << fleet.err;
    input_ = "panel\r\n";
    CliRun own = Run({"pjlink", "password", "--projector", "127.0.12.4"}, false);
    ASSERT_EQ(own.status, kExitOk) << own.err;
    for (const CliRun& run : {fleet, own}) {
        EXPECT_THAT(run.out + run.err, Not(HasSubstr("secret")));
        EXPECT_THAT(run.out + run.err, Not(HasSubstr("panel")));
    }
    struct stat info {};
    ASSERT_EQ(::stat(PasswordsFile().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    pjlink::Passwords passwords(PasswordsFile());
    ASSERT_TRUE(passwords.Load());
    EXPECT_EQ(passwords.For("127.0.12.4"), "panel");
    EXPECT_EQ(passwords.For("127.0.12.5"), "fleet secret");
    EXPECT_THAT(ReadFile(StoreFile()), Not(HasSubstr("panel")));

    CliRun list = Run({"pjlink", "add", "127.0.12.4", "127.0.12.5"}, false);
    list = Run({"pjlink", "list"}, false);
    EXPECT_THAT(list.out, Not(HasSubstr("panel")));
    EXPECT_THAT(list.out, HasSubstr("own"));
    EXPECT_THAT(list.out, HasSubstr("fleet-wide"));

    // Too long for PJLink: refused, the file unchanged.
    input_ = std::string(33, 'x') + "\n";
    EXPECT_EQ(Run({"pjlink", "password"}, false).status, kExitUsage);
    // A file others may read is left alone rather than rewritten without its entries.
    const std::string before = ReadFile(PasswordsFile());
    ::chmod(PasswordsFile().c_str(), 0644);
    input_ = "new\n";
    CliRun refused = Run({"pjlink", "password", "--projector", "127.0.12.9"}, false);
    EXPECT_EQ(refused.status, kExitUsage);
    EXPECT_THAT(refused.err, HasSubstr("chmod 600"));
    EXPECT_EQ(ReadFile(PasswordsFile()), before);
    // An empty line removes the projector's own password.
    ::chmod(PasswordsFile().c_str(), 0600);
    input_ = "\n";
    ASSERT_EQ(Run({"pjlink", "password", "--projector", "127.0.12.4"}, false).status, kExitOk);
    ASSERT_TRUE(passwords.Load());
    EXPECT_EQ(passwords.For("127.0.12.4"), "fleet secret");
}

// The lines projector `ip` received, in order.
std::vector<std::string> Received(const sim::PjlinkFleet& fleet, const std::string& ip) {
    std::vector<std::string> lines;
    for (const sim::PjlinkLogEntry& entry : fleet.Log()) {
        if (entry.address == ip)
            lines.push_back(entry.line);
    }
    return lines;
}

TEST_F(PjlinkCliTest, StatusListsAMixedFleetAndAWrongPasswordFails) {
    StartFleet(2);
    StartPjlink(3, [](sim::PjlinkFleetOptions& options) {
        options.projectors[1].errors = "000020";  // a filter error
    });
    ASSERT_EQ(
        RunPj({"pjlink", "add", "127.0.12.2", "127.0.12.3", "127.0.12.4", "--group", "Lab"}).status,
        kExitOk);

    // No target: every projector that answers discovery, and every PJLink one the store has.
    CliRun status = RunPj({"status", "--json", "--wait", "1"});
    EXPECT_EQ(status.status, kExitProjectorFailed) << status.err;  // the wrong password
    std::map<std::string, json> rows;
    for (const auto& row : json::parse(status.out))
        rows[row["ip"]] = row;
    ASSERT_EQ(rows.size(), 5u) << status.out;
    EXPECT_EQ(rows["127.0.10.2"]["result"], "OK");
    const json& first = rows["127.0.12.2"];  // class 1, no password
    EXPECT_EQ(first["result"], "OK");
    EXPECT_EQ(first["group"], "Lab");
    EXPECT_EQ(first["name"], "PJLink 1");
    EXPECT_EQ(first["power"], "ON");
    EXPECT_EQ(first["source"], "Digital 1");
    EXPECT_EQ(first["lampHours"], "400");
    EXPECT_EQ(first["displayMode"], "");
    const json& second = rows["127.0.12.3"];  // class 2: input names and software version
    EXPECT_EQ(second["source"], "HDMI 1");
    EXPECT_EQ(second["firmware"], "2.1");
    EXPECT_EQ(rows["127.0.12.4"]["result"], "PJLink password refused");

    input_ = "panel\n";
    ASSERT_EQ(Run({"pjlink", "password", "--projector", "127.0.12.4"}, false).status, kExitOk);
    // Given targets keep their order; the PJLink ones are asked over PJLink only.
    pjlink_->ClearLog();
    status = RunPj({"status", "127.0.12.4", "127.0.10.3", "127.0.12.2", "--csv"});
    ASSERT_EQ(status.status, kExitOk) << status.err << status.out;
    const auto lines = Lines(status.out);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_THAT(lines[1], ::testing::StartsWith(",127.0.12.4,Lab,PJLink 3,ON,"));
    EXPECT_THAT(lines[2], HasSubstr(",127.0.10.3,"));
    EXPECT_THAT(lines[3], HasSubstr(",127.0.12.2,"));
    EXPECT_THAT(Received(*pjlink_, "127.0.12.4"), ::testing::Contains("%1POWR ?"));

    // Health: the PJLink lamp hours and the filter error, which is critical.
    CliRun health = RunPj({"health", "127.0.12.2", "127.0.12.3", "--json"});
    ASSERT_EQ(health.status, kExitOk) << health.err;
    EXPECT_THAT(health.out, HasSubstr("\"lamp_hours\": 400"));
    CliRun check = RunPj({"health", "--check", "127.0.12.2", "127.0.12.3"});
    EXPECT_EQ(check.status, 2) << check.out;
    EXPECT_THAT(check.out, ::testing::StartsWith("VISTREL CRITICAL"));
    EXPECT_THAT(check.out, HasSubstr("filter error"));
}

TEST_F(PjlinkCliTest, PowerAndSourceReachBothKindsWithTheirOwnCommands) {
    StartFleet(1);
    StartPjlink(3, [](sim::PjlinkFleetOptions& options) {
        for (auto& projector : options.projectors)
            projector.password.clear();
    });
    ASSERT_EQ(RunPj({"pjlink", "add", "127.0.12.2", "127.0.12.3", "--group", "Lab"}).status,
              kExitOk);

    CliRun off = RunPj({"power", "off", "127.0.10.2", "127.0.12.2", "127.0.12.3", "--wait", "30"});
    ASSERT_EQ(off.status, kExitOk) << off.err << off.out;
    EXPECT_EQ(BodiesStartingWith(Fleet(), "command=~0000 0"), 1u);
    for (const char* ip : {"127.0.12.2", "127.0.12.3"}) {
        const auto lines = Received(*pjlink_, ip);
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "%1POWR 0"), 1) << ip;
        EXPECT_EQ(pjlink_->Config(ip == std::string("127.0.12.2") ? 0 : 1).power, 0);
    }
    // 127.0.12.4 was not added: it is not a PJLink target, and got nothing.
    EXPECT_TRUE(Received(*pjlink_, "127.0.12.4").empty());

    // A group of the console's reaches its PJLink projectors.
    pjlink_->ClearLog();
    CliRun on = RunPj({"power", "on", "--group", "Lab", "--wait", "30"});
    ASSERT_EQ(on.status, kExitOk) << on.err << on.out;
    for (const char* ip : {"127.0.12.2", "127.0.12.3"}) {
        const auto lines = Received(*pjlink_, ip);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.front(), "%1POWR 1");
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "%1POWR 1"), 1) << ip;
    }

    pjlink_->ClearLog();
    CliRun hdmi = RunPj({"source", "HDMI", "127.0.12.2", "127.0.12.3", "--json"});
    ASSERT_EQ(hdmi.status, kExitOk) << hdmi.err << hdmi.out;
    EXPECT_EQ(Received(*pjlink_, "127.0.12.2"),
              (std::vector<std::string>{"%1INST ?", "%1INPT 31"}));
    EXPECT_EQ(Ips(hdmi.out), (std::vector<std::string>{"127.0.12.2", "127.0.12.3"}));

    // The simulated projectors have no S-Video input: skipped, said, and a failure.
    pjlink_->ClearLog();
    CliRun svideo = RunPj({"source", "S-Video", "127.0.12.3"});
    EXPECT_EQ(svideo.status, kExitProjectorFailed);
    EXPECT_THAT(svideo.out, HasSubstr("skipped"));
    EXPECT_THAT(svideo.err, HasSubstr("127.0.12.3: source S-Video skipped"));
    EXPECT_EQ(Received(*pjlink_, "127.0.12.3"), (std::vector<std::string>{"%1INST ?"}));

    // A row ticked in the window is kept under its PJLink key; --ticked reaches it alone.
    {
        RegStore store(StoreFile(), kDefaultAppName);
        store.SetProjectorDword("PJLINK-127.0.12.3", kProjectorKeyRoot, 0, "Checked", 1);
        store.SetProjectorDword("PJLINK-127.0.12.4", kProjectorKeyRoot, 0, "Checked",
                                1);  // not added
    }
    pjlink_->ClearLog();
    CliRun ticked = RunPj({"power", "off", "--ticked"});
    ASSERT_EQ(ticked.status, kExitOk) << ticked.err << ticked.out;
    EXPECT_TRUE(Received(*pjlink_, "127.0.12.2").empty());
    EXPECT_EQ(Received(*pjlink_, "127.0.12.3"), (std::vector<std::string>{"%1POWR 0"}));
    EXPECT_TRUE(Received(*pjlink_, "127.0.12.4").empty());
}

TEST_F(PjlinkCliTest, GetAndSetUseTheConsolesNamesAndRefuseWhatPjlinkLacks) {
    StartPjlink(2);  // 127.0.12.2 class 1, 127.0.12.3 class 2, both without a password
    ASSERT_EQ(RunPj({"pjlink", "add", "127.0.12.2", "127.0.12.3"}).status, kExitOk);

    CliRun set = RunPj({"set", "av-mute=on", "freeze=on", "volume=up", "127.0.12.3"});
    ASSERT_EQ(set.status, kExitOk) << set.err << set.out;
    EXPECT_EQ(Received(*pjlink_, "127.0.12.3"),
              (std::vector<std::string>{"%1AVMT 31", "%2FREZ 1", "%2SVOL 1"}));

    CliRun get = RunPj({"get", "127.0.12.3", "--json"});
    ASSERT_EQ(get.status, kExitOk) << get.err;
    std::map<std::string, json> values;
    for (const auto& row : json::parse(get.out))
        values[row["setting"]] = row["value"];
    EXPECT_EQ(values["power"], "on");
    EXPECT_EQ(values["source"], "HDMI");
    EXPECT_EQ(values["av-mute"], "on");
    EXPECT_EQ(values["freeze"], "on");

    // What PJLink cannot carry is refused before anything is sent.
    pjlink_->ClearLog();
    CliRun brightness = RunPj({"set", "power=off", "brightness=80", "127.0.12.2"});
    EXPECT_EQ(brightness.status, kExitProjectorFailed);
    EXPECT_THAT(brightness.err, HasSubstr("brightness is not a PJLink setting"));
    CliRun volume = RunPj({"set", "volume=5", "127.0.12.3"});
    EXPECT_EQ(volume.status, kExitProjectorFailed);
    EXPECT_THAT(volume.err, HasSubstr("volume=up or volume=down"));
    EXPECT_TRUE(pjlink_->Log().empty());
    EXPECT_EQ(pjlink_->Config(0).power, 1);

    // A class-1 projector has no freeze: the command it does not know fails the run.
    CliRun freeze = RunPj({"set", "freeze=on", "127.0.12.2"});
    EXPECT_EQ(freeze.status, kExitProjectorFailed);
    CliRun read = RunPj({"get", "127.0.12.2", "freeze", "--json"});
    const json row = json::parse(read.out).at(0);
    EXPECT_TRUE(row["value"].is_null());
    EXPECT_NE(row["result"], "OK");

    // Their group is the console's: group set keeps it in the store; their name is their own.
    pjlink_->ClearLog();
    ASSERT_EQ(RunPj({"group", "set", "Hall", "127.0.12.3"}).status, kExitOk);
    EXPECT_EQ(json::parse(RunPj({"pjlink", "list", "--json"}).out)[1]["group"], "Hall");
    EXPECT_EQ(RunPj({"group", "set", "Hall", "--name", "X", "127.0.12.2"}).status,
              kExitProjectorFailed);
    EXPECT_TRUE(pjlink_->Log().empty());
}

TEST_F(PjlinkCliTest, RunSchedulesSendsADueTaskOverPjlink) {
    StartFleet(1);
    StartPjlink(2, [](sim::PjlinkFleetOptions& options) {
        for (auto& projector : options.projectors)
            projector.power = 0;
    });
    ASSERT_EQ(RunPj({"pjlink", "add", "127.0.12.2", "127.0.12.3"}).status, kExitOk);
    {
        SchedTask task;  // power on, once, just due
        task.enabled = 1;
        task.time = task.date = task.start = SystemClock::Instance().Now() - 1;
        RegStore store(StoreFile(), kDefaultAppName);
        ASSERT_NE(store.WriteProjectorTask("PJLINK-127.0.12.2", 0, &task), 0);
    }
    timers_.listRefresh = std::chrono::milliseconds(150);
    timers_.scheduleCheck = std::chrono::milliseconds(400);
    timers_.discoveryOverride = std::chrono::milliseconds(300);
    std::atomic<bool> stop{false};
    LiveText live;
    CliRun run;
    std::thread runner([&] { run = RunPj({"run-schedules"}, &stop, &live); });
    const bool told = live.WaitFor("127.0.12.2  Power_On: OK", std::chrono::seconds(20));
    stop = true;
    runner.join();
    ASSERT_TRUE(told) << run.out << run.err;
    EXPECT_EQ(run.status, kExitOk) << run.err;
    EXPECT_EQ(Received(*pjlink_, "127.0.12.2"), (std::vector<std::string>{"%1POWR 1"}));
    EXPECT_TRUE(Received(*pjlink_, "127.0.12.3").empty());  // no task, and no polling
    EXPECT_EQ(BodiesStartingWith(Fleet(), "command="), 0u);
}

}  // namespace
}  // namespace vistrel::cli::test
