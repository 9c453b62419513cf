// Whatever reaches the store as a group name, a projector identity (typed by an operator,
// or announced by any host on the network) or a number, the store either refuses it with
// the operation's failure value and leaves the file as it was, or keeps it so that another
// process reads back exactly what this one sees. The file stays readable and nothing
// stored before is lost.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "store/reg_store.h"
#include "store/reg_text.h"
#include "store_test_support.h"

namespace vistrel {
namespace {

using testing::FixedClock;
using testing::ReadFile;
using testing::TempDir;

constexpr int64_t kNow = 1767225600;

const std::vector<std::string>& NamesFromOutside() {
    static const std::vector<std::string> names = {
        "",
        " ",
        "Lab",
        "  leading and trailing  ",
        std::string(59, 'n'),
        std::string(60, 'n'),
        std::string(255, 'm'),
        std::string(256, 'm'),
        "back\\slash",
        "\\",
        "Group\\Lab",
        "quote\" and ] and [",
        "[HKEY_CURRENT_USER\\Software]",
        "=dword:00000001",
        ";comment",
        "-minus",
        "new\nline",
        "tab\t",
        "\x1b[2J",
        "\xC3\xA9t\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x93\xBD",
        "\xFF\xFE",
        "\xC3",
        std::string("nul\0inside", 10),
        "All Projectors",
        "LAB",
    };
    return names;
}

class StoreInputTest : public ::testing::Test {
  protected:
    StoreInputTest() : clock(kNow), store(dir.File(), "Vistrel", clock) {
        // What the operator stored before: it must survive everything below.
        store.SetAppDword("Interval", 25000);
        store.OpenGroupKey("Kept", kGroupKeyRoot, 0);
        SchedTask task{1, 2, kNow, kNow, kNow + 60, 1};
        store.WriteGroupTask("Kept", 3, &task);
        store.SetProjectorDword("00AB12CD34EF", kProjectorKeyRoot, 0, "Checked", 1);
    }

    // The file reads back, and what was stored before is still there for another process.
    void ExpectIntact() {
        RegNode root;
        std::string error;
        ASSERT_TRUE(ParseReg(ReadFile(dir.File()), root, &error)) << error;
        RegStore other(dir.File(), "Vistrel", clock);
        EXPECT_EQ(other.GetAppDword("Interval", 0), 25000u);
        SchedTask task;
        other.ReadGroupTask("Kept", 3, &task);
        EXPECT_EQ(task, (SchedTask{1, 2, kNow, kNow, kNow + 60, 1}));
        EXPECT_EQ(other.GetProjectorDword("00AB12CD34EF", kProjectorKeyRoot, 0, "Checked", 0), 1u);
        EXPECT_TRUE(other.LastError().empty()) << other.LastError();
    }

    TempDir dir;
    FixedClock clock;
    RegStore store;
};

TEST_F(StoreInputTest, GroupNamesAreKeptWholeOrRefusedWithoutATrace) {
    for (const std::string& name : NamesFromOutside()) {
        SCOPED_TRACE(::testing::PrintToString(name));
        const std::string before = ReadFile(dir.File());
        SchedTask task{1, 1, kNow, kNow, kNow + 3600, 0};
        const int written = store.WriteGroupTask(name, 0, &task);
        if (written == 0) {
            EXPECT_EQ(ReadFile(dir.File()), before) << "a refused name leaves the file alone";
            EXPECT_FALSE(store.OpenGroupKey(name, kGroupKeyRoot, 0));
        } else {
            RegStore other(dir.File(), "Vistrel", clock);
            SchedTask back;
            ASSERT_EQ(other.ReadGroupTask(name, 0, &back), 1);
            EXPECT_EQ(back, task);
            // The documented cut: enumeration shows names of up to 59 bytes.
            const auto names = other.LoadGroupNames();
            const bool listed = std::find(names.begin(), names.end(), name) != names.end();
            const bool sameKeyListed =
                std::any_of(names.begin(), names.end(),
                            [&](const std::string& n) { return KeyNamesEqual(n, name); });
            if (name.size() <= kEnumNameLimit && name != kAllProjectorsGroup) {
                EXPECT_TRUE(listed || sameKeyListed);
            } else {
                EXPECT_FALSE(listed);
            }
            if (name.size() <= kEnumNameLimit) {
                EXPECT_EQ(other.DeleteGroup(name), 1);
            }
        }
        ExpectIntact();
    }
}

TEST_F(StoreInputTest, ProjectorIdentitiesAreKeptWholeOrRefusedWithoutATrace) {
    for (const std::string& mac : NamesFromOutside()) {
        SCOPED_TRACE(::testing::PrintToString(mac));
        const std::string before = ReadFile(dir.File());
        const int ticked = store.SetProjectorDword(mac, kProjectorKeyRoot, 0, "Checked", 1);
        SchedTask task{1, 3, kNow, kNow, kNow + 86400, 1};
        const int written = store.WriteProjectorTask(mac, 2, &task);
        EXPECT_EQ(ticked != 0, written != 0) << "one rule for every operation on a name";
        if (written == 0) {
            EXPECT_EQ(ReadFile(dir.File()), before);
            SchedTask read;
            EXPECT_EQ(store.GetProjectorDword(mac, kProjectorKeyRoot, 0, "Checked", 0), 0u);
            EXPECT_EQ(ReadFile(dir.File()), before) << "not even a read creates it";
            (void)store.ReadProjectorTask(mac, 2, &read);
            EXPECT_EQ(ReadFile(dir.File()), before);
        } else {
            RegStore other(dir.File(), "Vistrel", clock);
            EXPECT_EQ(other.GetProjectorDword(mac, kProjectorKeyRoot, 0, "Checked", 0), 1u);
            SchedTask back;
            ASSERT_EQ(other.ReadProjectorTask(mac, 2, &back), 1);
            EXPECT_EQ(back, task);
        }
        ExpectIntact();
    }
}

TEST_F(StoreInputTest, OutOfRangeNumbersNeverDamageTheStore) {
    // Task fields outside their ranges are kept as the 32-bit values they are written as.
    SchedTask odd{7, -1, (int64_t{1} << 40) + 5, -1, INT64_MAX, INT_MIN};
    ASSERT_NE(store.WriteProjectorTask("AABBCCDDEEFF", 0, &odd), 0);
    RegStore other(dir.File(), "Vistrel", clock);
    SchedTask back;
    ASSERT_EQ(other.ReadProjectorTask("AABBCCDDEEFF", 0, &back), 1);
    EXPECT_EQ(back.enabled, 7);
    EXPECT_EQ(back.time, 5) << "times keep their low 32 bits";
    EXPECT_EQ(back.date, int64_t{0xFFFFFFFF});
    EXPECT_EQ(back.start, int64_t{0xFFFFFFFF});
    ExpectIntact();

    // Task indexes and key kinds outside their ranges: whatever the store does with them,
    // the same on reload, and nothing else is touched.
    for (int index : {-1, 4, 1000, INT_MAX, INT_MIN}) {
        SCOPED_TRACE(index);
        SchedTask task{1, 1, kNow, kNow, kNow, 0};
        const int written = store.WriteGroupTask("Kept", index, &task);
        SchedTask read;
        RegStore again(dir.File(), "Vistrel", clock);
        again.ReadGroupTask("Kept", index, &read);
        if (written != 0) {
            EXPECT_EQ(read, task);
        }
        ExpectIntact();
    }
    for (int kind : {0, 6, -1, INT_MAX}) {
        EXPECT_EQ(store.SetGroupDword("Kept", kind, 0, "v", 1), 0);
        EXPECT_EQ(store.SetProjectorDword("AABBCCDDEEFF", kind, 0, "v", 1), 0);
    }
    EXPECT_EQ(store.SetAppDword("Interval", UINT32_MAX), 1);
    EXPECT_EQ(RegStore(dir.File(), "Vistrel", clock).GetAppDword("Interval", 0), UINT32_MAX);
    EXPECT_EQ(store.SetAppDword("Interval", 25000), 1);
    ExpectIntact();
}

}  // namespace
}  // namespace vistrel
