#include "protocol/console.h"

#include <gtest/gtest.h>

namespace vistrel {
namespace {

TEST(ProjectorTable, KeepsFirstSeenOrderAndReplacesInPlace) {
    ProjectorTable table;
    auto guard = table.Lock();
    for (const char* mac : {"00000000000C", "00000000000A", "00000000000B"}) {
        guard.Store(Info(mac));
    }
    Info changed("00000000000A");
    changed.ip = "10.0.0.9";
    guard.Store(changed);

    ASSERT_EQ(guard.Size(), 3u);
    EXPECT_EQ(guard.Records()[0].mac, "00000000000C");
    EXPECT_EQ(guard.Records()[1].mac, "00000000000A");
    EXPECT_EQ(guard.Records()[1].ip, "10.0.0.9");
    EXPECT_EQ(guard.Records()[2].mac, "00000000000B");
}

TEST(ProjectorTable, LookupCopiesOutUntilStoredBack) {
    ProjectorTable table;
    Info stored("AABBCCDDEEFF");
    stored.tasks[2].enabled = 1;
    stored.tasks[2].start = 1700000000;
    table.Lock().Store(stored);

    Info copy;
    ASSERT_TRUE(table.Lock().Lookup("AABBCCDDEEFF", copy));
    EXPECT_EQ(copy, stored);
    copy.tasks[2].enabled = 0;
    copy.tasks[3].command = 1;
    copy.power = "ON";

    {
        Info again;
        ASSERT_TRUE(table.Lock().Lookup("AABBCCDDEEFF", again));
        EXPECT_EQ(again, stored) << "a changed copy must not reach the table";
    }

    table.Lock().Store(copy);
    Info after;
    ASSERT_TRUE(table.Lock().Lookup("AABBCCDDEEFF", after));
    EXPECT_EQ(after.tasks[2].enabled, 0);
    EXPECT_EQ(after.tasks[3].command, 1);
    EXPECT_EQ(after.power, "ON");
    EXPECT_EQ(table.Lock().Size(), 1u);
}

TEST(ProjectorTable, UnknownMacIsNotFoundAndLeavesOutputAlone) {
    ProjectorTable table;
    table.Lock().Store(Info("AABBCCDDEEFF"));
    Info out("untouched");
    auto guard = table.Lock();
    EXPECT_FALSE(guard.Lookup("001122334455", out));
    EXPECT_EQ(out.mac, "untouched");
    EXPECT_EQ(guard.Find("001122334455"), nullptr);
}

TEST(ProjectorTable, NewRecordStartsFreshAndUnpolled) {
    Info info("AABBCCDDEEFF");
    EXPECT_EQ(info.freshness, 5u);
    EXPECT_EQ(info.pollTick, 0u);
    EXPECT_FALSE(info.relocating);
    for (const SchedTask& task : info.tasks)
        EXPECT_EQ(task, SchedTask{});
}

}  // namespace
}  // namespace vistrel
