// How often the window's actions write the store file: ticks of many rows are one change,
// and showing projectors for the first time writes nothing.
#include <gtest/gtest.h>

#include <QSignalSpy>

#include "app/core_backend.h"
#include "app/projector_list_model.h"
#include "store/reg_store.h"
#include "store/store_test_support.h"

namespace vistrel::test {

using testing::TempDir;
namespace {

std::string Mac(int i) {
    return "02TICK" + std::to_string(100000 + i);
}

Info Shown(int i) {
    Info info(Mac(i));
    info.ip = "127.0.9.1";
    info.freshness = 5;
    return info;
}

TEST(StoreWrites, ManyTicksAreOneWriteAndReadingTicksWritesNothing) {
    TempDir dir;
    Console console;
    RegStore store(dir.File(), "Vistrel");
    ASSERT_EQ(store.SetAppDword("Interval", 10000), 1);
    CoreBackend backend(console, store, "Vistrel");  // no thread is started
    const uint64_t start = store.WriteCount();

    for (int i = 0; i < 300; ++i)
        EXPECT_EQ(backend.GetProjectorDword(Mac(i), "Checked", 0), 0u);
    EXPECT_EQ(store.WriteCount(), start);
    EXPECT_FALSE(store.KeyExists({"Projector"}));

    std::vector<std::pair<std::string, uint32_t>> ticks;
    for (int i = 0; i < 300; ++i)
        ticks.emplace_back(Mac(i), i % 3 == 0 ? 0 : 1);
    EXPECT_TRUE(backend.SetProjectorDwords("Checked", ticks));
    EXPECT_EQ(store.WriteCount(), start + 1);
    RegStore reread(dir.File(), "Vistrel");
    for (int i = 0; i < 300; ++i) {
        EXPECT_EQ(reread.GetProjectorDword(Mac(i), kProjectorKeyRoot, 0, "Checked", 9),
                  i % 3 == 0 ? 0u : 1u);
    }
}

TEST(StoreWrites, CheckingAllRowsHandsEveryChangedTickOverInOneCall) {
    ProjectorListModel model;
    std::vector<std::vector<std::pair<std::string, bool>>> writes;
    model.SetCheckStore([](const std::string& mac) { return mac == Mac(1); },
                        [&writes](const std::vector<std::pair<std::string, bool>>& changed) {
                            writes.push_back(changed);
                        });
    std::vector<Info> records;
    for (int i = 0; i < 4; ++i)
        records.push_back(Shown(i));
    model.Refresh(records, nullptr);
    ASSERT_EQ(model.CheckedCount(), 1);  // read from the store, nothing written back
    EXPECT_TRUE(writes.empty());

    QSignalSpy ticks(&model, &ProjectorListModel::ticksChanged);
    model.SetAllChecked(true);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0], (std::vector<std::pair<std::string, bool>>{
                             {Mac(0), true}, {Mac(2), true}, {Mac(3), true}}));
    EXPECT_EQ(model.CheckedCount(), 4);
    EXPECT_EQ(ticks.count(), 1);

    model.SetAllChecked(true);  // nothing changes, nothing is written
    EXPECT_EQ(writes.size(), 1u);
    model.SetChecked(2, false);
    model.SetAllChecked(false);
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(writes[1], (std::vector<std::pair<std::string, bool>>{{Mac(2), false}}));
    EXPECT_EQ(writes[2].size(), 3u);
    EXPECT_EQ(model.CheckedCount(), 0);
    for (int row = 0; row < model.RowCount(); ++row)
        EXPECT_FALSE(model.IsChecked(row));
}

}  // namespace
}  // namespace vistrel::test
