#include "protocol/batch_sender.h"

#include <algorithm>
#include <atomic>
#include <numeric>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fake_projector.h"
#include "protocol/request_ring.h"

namespace vistrel {
namespace {

using namespace std::chrono_literals;
using test::FakeProjector;
using test::RecordingSink;
using ::testing::IsEmpty;

std::vector<MsgCmd> Entries(size_t count) {
    std::vector<MsgCmd> entries(count);
    for (size_t i = 0; i < count; ++i) {
        entries[i].ip = "127.0.2." + std::to_string(i % 250 + 1) + "#" + std::to_string(i);
    }
    return entries;
}

TEST(BatchSenderTest, ManyEntriesAreEachAnsweredOnceWithBoundedThreads) {
    FakeProjector fake;
    fake.SetDelay(1ms);
    constexpr size_t kCount = 300;
    auto entries = Entries(kCount);
    BatchSender sender(fake.Sender(), 8);
    auto owner = std::make_shared<RecordingSink>();
    auto result = sender.Send(entries, "query=info", owner);
    ASSERT_EQ(result->Size(), kCount);
    ASSERT_TRUE(result->WaitAll(20s));
    ASSERT_TRUE(owner->WaitForCount(kCount));

    std::vector<uintptr_t> indices = owner->WParams(kMsgReply);
    std::sort(indices.begin(), indices.end());
    std::vector<uintptr_t> expected(kCount);
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(indices, expected);
    for (const auto& message : owner->Messages())
        EXPECT_EQ(message.lparam, 0);
    EXPECT_LE(fake.MaxConcurrent(), 8u);
    EXPECT_LE(sender.ThreadCount(), 8u);
    EXPECT_EQ(result->AnsweredCount(), kCount);
}

// An owner that takes a while to queue each notice: a caller that waited for the batch must
// still find every notice already given.
TEST(BatchSenderTest, WaitAllReturnsOnlyAfterEveryOwnerHasBeenTold) {
    struct SlowSink : ReplySink {
        std::atomic<size_t> posted{0};
        void Post(uint32_t, uintptr_t, intptr_t) override {
            std::this_thread::sleep_for(20ms);
            posted.fetch_add(1);
        }
    };
    FakeProjector fake;
    BatchSender sender(fake.Sender(), 4);
    auto owner = std::make_shared<SlowSink>();
    constexpr size_t kCount = 12;
    auto result = sender.Send(Entries(kCount), "query=info", owner);
    ASSERT_TRUE(result->WaitAll(20s));
    EXPECT_EQ(owner->posted.load(), kCount);
    EXPECT_EQ(result->AnsweredCount(), kCount);
}

TEST(BatchSenderTest, FailedEntriesAreAnsweredWithAnEmptyReplyAndNullOwnersAreFine) {
    FakeProjector fake;
    fake.FailOn("set=test");
    BatchSender sender(fake.Sender(), 4);
    auto owner = std::make_shared<RecordingSink>();
    auto failing = sender.Send(Entries(5), "set=test", owner);
    auto working = sender.Send(Entries(3), "query=info", std::weak_ptr<ReplySink>());
    ASSERT_TRUE(failing->WaitAll(5s));
    ASSERT_TRUE(working->WaitAll(5s));
    ASSERT_TRUE(owner->WaitForCount(5));
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_TRUE(failing->Answered(i));
        EXPECT_THAT(failing->Reply(i), IsEmpty());
        EXPECT_EQ(failing->Entry(i).message, kMsgReply);
        EXPECT_EQ(failing->Entry(i).body, "set=test");
    }
    for (size_t i = 0; i < 3; ++i) {
        MsgCmd entry = working->Entry(i);
        EXPECT_EQ(entry.reply, FakeProjector::ReplyFor(entry.ip, "query=info"));
    }
}

TEST(BatchSenderTest, EachBatchWorksOnItsOwnCopyOfTheEntries) {
    FakeProjector fake;
    fake.LimitPermits(0);
    Console console;
    RequestRingOptions options;
    options.sender = fake.Sender();
    options.batchThreads = 4;
    RequestRing ring(console, options);
    auto first = std::make_shared<RecordingSink>();
    auto second = std::make_shared<RecordingSink>();

    console.batch.resize(2);
    console.batch[0].ip = "127.0.2.1";
    console.batch[1].ip = "127.0.2.2";
    auto a = ring.SendBatch("query=info", first);
    ASSERT_TRUE(fake.WaitForCalls(2));
    // The caller rebuilds the array for the next batch while the first is in flight.
    console.batch.assign(1, MsgCmd{});
    console.batch[0].ip = "127.0.2.3";
    auto b = ring.SendBatch("query=group", second);
    fake.Ungate();
    ASSERT_TRUE(a->WaitAll(5s));
    ASSERT_TRUE(b->WaitAll(5s));

    ASSERT_EQ(a->Size(), 2u);
    EXPECT_EQ(a->Entry(0).ip, "127.0.2.1");
    EXPECT_EQ(a->Entry(1).ip, "127.0.2.2");
    EXPECT_EQ(a->Reply(1), FakeProjector::ReplyFor("127.0.2.2", "query=info"));
    ASSERT_EQ(b->Size(), 1u);
    EXPECT_EQ(b->Reply(0), FakeProjector::ReplyFor("127.0.2.3", "query=group"));
    ASSERT_TRUE(first->WaitForCount(2));
    ASSERT_TRUE(second->WaitForCount(1));
    EXPECT_EQ(second->WParams(kMsgReply), std::vector<uintptr_t>{0});
}

TEST(BatchSenderTest, StopCancelsWhatIsInFlightAndResultsOutliveTheSender) {
    FakeProjector fake;
    fake.HangOn("query=hang");
    auto owner = std::make_shared<RecordingSink>();
    std::shared_ptr<BatchResult> result;
    {
        BatchSender sender(fake.Sender(), 4);
        result = sender.Send(Entries(10), "query=hang", owner);
        ASSERT_TRUE(fake.WaitForCalls(4));
        const auto start = std::chrono::steady_clock::now();
        sender.Stop(start + 100ms);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);  // only catches a hang
        EXPECT_EQ(sender.ThreadCount(), 0u);
    }
    EXPECT_EQ(fake.Cancelled(), 4u);
    EXPECT_EQ(fake.Calls().size(), 4u);  // the queued six were never started
    EXPECT_THAT(owner->Messages(), IsEmpty());
    EXPECT_EQ(result->Size(), 10u);
    EXPECT_EQ(result->AnsweredCount(), 0u);
}

TEST(BatchSenderTest, RingShutdownLetsABatchFinishWithinTheGrace) {
    FakeProjector fake;
    fake.SetDelay(20ms);
    Console console;
    console.batch = Entries(20);
    RequestRingOptions options;
    options.sender = fake.Sender();
    options.batchThreads = 4;
    options.shutdownGrace = 5000ms;
    auto owner = std::make_shared<RecordingSink>();
    std::shared_ptr<BatchResult> result;
    {
        RequestRing ring(console, options);
        ring.StartRequestWorker();
        result = ring.SendBatch("command=~0000 1", owner);
    }
    EXPECT_EQ(result->AnsweredCount(), 20u);
    EXPECT_EQ(owner->Messages().size(), 20u);
}

}  // namespace
}  // namespace vistrel
