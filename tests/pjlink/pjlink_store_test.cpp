#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "pjlink/pjlink_monitor.h"
#include "pjlink/pjlink_store.h"

namespace vistrel::pjlink {
namespace {

struct TempDir {
    TempDir() {
        char pattern[] = "/tmp/vistrel-pjlink-XXXXXX";
        path = ::mkdtemp(pattern);
    }
    ~TempDir() { std::filesystem::remove_all(path); }
    std::filesystem::path path;
};

std::string ReadAll(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(PjlinkStore, AddedProjectorsAndGroupsSurviveARestartUnderNewValueNames) {
    TempDir dir;
    const auto file = dir.path / "registry.reg";
    {
        RegStore store(file, "vistrel");
        store.SetAppDword("Interval", 10000);
        EXPECT_TRUE(SaveProjector(store, "10.1.2.3", "Hall"));
        EXPECT_TRUE(SaveProjector(store, "10.1.2.4", ""));
        EXPECT_TRUE(SaveProjector(store, "10.1.2.3", "Lobby"));  // regrouped, not doubled
        EXPECT_FALSE(SaveProjector(store, "255.255.255.255", ""));
    }
    RegStore store(file, "vistrel");
    EXPECT_EQ(LoadProjectors(store), (std::vector<std::pair<std::string, std::string>>{
                                         {"10.1.2.3", "Lobby"}, {"10.1.2.4", ""}}));
    EXPECT_EQ(store.GetAppDword("Interval", 0), 10000u);  // existing values untouched
    EXPECT_EQ(store.SubKeyNames({}).size(), 0u);          // no new keys, only values
}

TEST(PjlinkStore, PasswordsLiveInAPrivateFileAndPerProjectorOnesWin) {
    TempDir dir;
    const auto file = Passwords::DefaultPath(dir.path / "registry.reg");
    Passwords passwords(file);
    EXPECT_TRUE(passwords.Load());  // no file yet: no passwords
    EXPECT_EQ(passwords.For("10.0.0.5"), "");
    std::string error;
    ASSERT_TRUE(passwords.Set("", "fleet pass", &error)) << error;
    ASSERT_TRUE(passwords.Set("10.0.0.5", "own", &error)) << error;
    EXPECT_FALSE(passwords.Set("10.0.0.6", std::string(33, 'x'), &error));
    EXPECT_FALSE(passwords.Set("10.0.0.6", "line\nbreak", &error));
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    Passwords again(file);
    ASSERT_TRUE(again.Load(&error)) << error;
    EXPECT_EQ(again.For("10.0.0.5"), "own");
    EXPECT_EQ(again.For("10.0.0.9"), "fleet pass");
    ASSERT_TRUE(again.Set("10.0.0.5", ""));
    EXPECT_EQ(again.For("10.0.0.5"), "fleet pass");
    EXPECT_EQ(ReadAll(file).find("own"), std::string::npos);

    // A file others may read is not trusted with passwords.
    ::chmod(file.c_str(), 0644);
    EXPECT_FALSE(again.Load(&error));
    EXPECT_NE(error.find("chmod 600"), std::string::npos);
    EXPECT_EQ(again.For("10.0.0.9"), "");
}

}  // namespace
}  // namespace vistrel::pjlink

#include "health/fleet_health.h"

namespace vistrel::pjlink {
namespace {

TEST(PjlinkHealth, LampOrFilterErrorsAreCriticalOtherReportsWarnings) {
    FleetHealth health(SystemClock::Instance());
    std::vector<Info> records;
    for (const char* errors : {"000000", "020000", "000020", "100000", "000010", ""}) {
        Info record(PjlinkKey(std::string("10.0.0.") + std::to_string(records.size() + 1)));
        record.pjlink = true;
        record.freshness = 5;
        record.lampHour = "100";
        record.pjlinkErrors = errors;
        records.push_back(record);
    }
    health.Update(records);
    std::vector<HealthState> states;
    for (const ProjectorHealth& h : health.Snapshot())
        states.push_back(h.state);
    EXPECT_EQ(states, (std::vector<HealthState>{HealthState::kOk, HealthState::kCritical,
                                                HealthState::kCritical, HealthState::kWarning,
                                                HealthState::kWarning, HealthState::kOk}));
}

}  // namespace
}  // namespace vistrel::pjlink
