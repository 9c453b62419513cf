// The health thresholds in the store, beside the console's other application values.
#include <gtest/gtest.h>

#include "health/health_thresholds.h"
#include "store/store_test_support.h"

namespace vistrel {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

TEST(HealthThresholdsStore, DefaultsUntilSavedThenRoundTripBesideTheOtherValues) {
    TempDir dir;
    RegStore store(dir.File(), "Vistrel");
    EXPECT_EQ(LoadHealthThresholds(store), HealthThresholds{});
    EXPECT_FALSE(std::filesystem::exists(dir.File()));  // reading creates nothing

    ASSERT_EQ(store.SetAppDword("Interval", 20000), 1);
    HealthThresholds t;
    t.lampWarningHours = 1500;
    t.lampCriticalHours = 1800;
    t.notAnsweringSeconds = 600;
    ASSERT_EQ(SaveHealthThresholds(store, t), 1);

    // Another process (the command-line tool, the next run) reads the same.
    RegStore other(dir.File(), "Vistrel");
    EXPECT_EQ(LoadHealthThresholds(other), t);
    EXPECT_EQ(other.GetAppDword("Interval", 0), 20000u);
    const std::string text = ReadFile(dir.File());
    EXPECT_NE(text.find("\"HealthLampWarningHours\"=dword:000005dc"), std::string::npos) << text;
    EXPECT_NE(text.find("\"HealthLampCriticalHours\"=dword:00000708"), std::string::npos);
    EXPECT_NE(text.find("\"HealthNotAnsweringSeconds\"=dword:00000258"), std::string::npos);

    // Refused whole: nothing of a bad set is stored.
    HealthThresholds bad = t;
    bad.lampWarningHours = 2000;  // above critical
    EXPECT_EQ(SaveHealthThresholds(store, bad), 0);
    EXPECT_FALSE(CheckHealthThresholds(bad).empty());
    bad = t;
    bad.notAnsweringSeconds = 0;
    EXPECT_EQ(SaveHealthThresholds(store, bad), 0);
    bad = t;
    bad.lampCriticalHours = 10000;
    EXPECT_EQ(SaveHealthThresholds(store, bad), 0);
    EXPECT_EQ(LoadHealthThresholds(store), t);
    EXPECT_TRUE(CheckHealthThresholds(t).empty());
}

TEST(HealthThresholdsStore, HandEditedNonsenseFallsBackToDefaults) {
    TempDir dir;
    WriteFile(dir.File(),
              "Windows Registry Editor Version 5.00\r\n\r\n"
              "[HKEY_CURRENT_USER\\Software\\Brightwerk\\Vistrel]\r\n"
              "\"HealthLampWarningHours\"=dword:00000fa0\r\n"     // 4000
              "\"HealthLampCriticalHours\"=dword:00000bb8\r\n"    // 3000: below the warning
              "\"HealthNotAnsweringSeconds\"=dword:00000000\r\n"  // never silent enough
              "\r\n");
    RegStore store(dir.File(), "Vistrel");
    EXPECT_EQ(LoadHealthThresholds(store), HealthThresholds{});
}

}  // namespace
}  // namespace vistrel
