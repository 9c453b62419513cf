#include "protocol/request_ring.h"

#include <algorithm>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fake_projector.h"

namespace vistrel {
namespace {

using namespace std::chrono_literals;
using test::FakeProjector;
using test::RecordingSink;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Message = RecordingSink::Message;

constexpr auto kPause = 40ms;

class RequestRingTest : public ::testing::Test {
  protected:
    RequestRingOptions Options() {
        RequestRingOptions options;
        options.pause = kPause;
        options.shutdownGrace = 3000ms;
        options.sender = fake.Sender();
        options.batchThreads = 8;
        return options;
    }

    // A first request that holds the worker until permitted, so that what follows is all
    // pending when the worker looks at it.
    void HoldWorker(RequestRing& ring, const std::shared_ptr<ReplySink>& sink) {
        fake.LimitPermits(0);
        ring.Enqueue("query=hold", sink, "127.0.2.9");
        ASSERT_TRUE(fake.WaitForCalls(1));
    }

    FakeProjector fake;
    Console console;
    std::shared_ptr<RecordingSink> owner = std::make_shared<RecordingSink>();
    std::shared_ptr<RecordingSink> status = std::make_shared<RecordingSink>();
};

TEST_F(RequestRingTest, TargetListIsSentInListOrderOnePauseApartAndEveryOwnerIsTold) {
    console.targetIps = {"127.0.2.1", "127.0.2.2", "127.0.2.3"};
    RequestRing ring(console, Options());
    ring.SetStatusWindow(status);
    ring.StartRequestWorker();
    ASSERT_TRUE(status->WaitForCount(1));
    EXPECT_EQ(status->Messages().front(), (Message{kMsgQueueStatus, 0, 0}));

    ring.Enqueue("query=info", owner, "");
    EXPECT_EQ(ring.Head(), 3u);
    ASSERT_TRUE(owner->WaitForCount(3));

    const auto calls = fake.Calls();
    ASSERT_EQ(calls.size(), 3u);
    for (size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].ip, console.targetIps[i]);
        EXPECT_EQ(calls[i].body, "query=info");
        if (i > 0) {
            EXPECT_GE(calls[i].at - calls[i - 1].at, kPause);
        }
    }
    EXPECT_THAT(owner->Messages(), ElementsAre(Message{kMsgReply, 1, 0}, Message{kMsgReply, 2, 0},
                                               Message{kMsgReply, 3, 0}));
    for (uint32_t slot = 1; slot <= 3; ++slot) {
        MsgCmd cmd = ring.Slot(slot);
        EXPECT_EQ(cmd.reply, FakeProjector::ReplyFor(console.targetIps[slot - 1], "query=info"));
        EXPECT_EQ(cmd.body, "query=info");
        EXPECT_EQ(cmd.message, kMsgReply);
    }

    // Busy before each send, Ready once the ring is empty again.
    ASSERT_TRUE(status->WaitFor([](const auto& m) { return m.size() >= 5; }));
    auto statuses = status->Messages();
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), Message{kMsgQueueStatus, 0, 1}), 3);
    EXPECT_EQ(statuses.back(), (Message{kMsgQueueStatus, 0, 0}));
    EXPECT_EQ(ring.Tail(), ring.Head());

    // A cleared status window hears nothing more.
    ring.ClearStatusWindow();
    const size_t before = status->Messages().size();
    ring.Enqueue("query=lamp", owner, "127.0.2.1");
    ASSERT_TRUE(owner->WaitForCount(4));
    EXPECT_EQ(status->Messages().size(), before);
}

TEST_F(RequestRingTest, SixtySecondPendingRequestIsDroppedAndFitsOnceTheWorkerTakesOne) {
    RequestRing ring(console, Options());
    ring.StartRequestWorker();
    HoldWorker(ring, owner);  // slot 1 in process
    for (int i = 1; i <= 61; ++i)
        ring.Enqueue("query=r" + std::to_string(i), owner, "127.0.2.1");
    EXPECT_EQ(ring.Head(), 62u);
    EXPECT_EQ(ring.Head() - ring.Tail(), 61u);

    ring.Enqueue("query=dropped", owner, "127.0.2.1");
    EXPECT_EQ(ring.Head(), 62u);

    fake.Permit();  // slot 1 done; the worker takes slot 2 and waits again
    ASSERT_TRUE(fake.WaitForCalls(2));
    EXPECT_EQ(ring.Tail(), 2u);
    ring.Enqueue("query=fits", owner, "127.0.2.1");
    EXPECT_EQ(ring.Head(), 63u);
    ring.Enqueue("query=dropped", owner, "127.0.2.1");
    EXPECT_EQ(ring.Head(), 63u);

    EXPECT_THAT(owner->DroppedBodies(), ElementsAre("query=dropped", "query=dropped"));

    fake.Ungate();
    ASSERT_TRUE(owner->WaitForCount(63, 20s));
    const auto bodies = fake.Bodies();
    ASSERT_EQ(bodies.size(), 63u);
    EXPECT_EQ(bodies[1], "query=r1");
    EXPECT_EQ(bodies[61], "query=r61");
    EXPECT_EQ(bodies[62], "query=fits");
}

TEST_F(RequestRingTest, SixteenCharacterCommandIsSupersededByTheNextForTheSameProjector) {
    RequestRing ring(console, Options());
    ring.StartRequestWorker();
    HoldWorker(ring, owner);
    const std::string ip = "127.0.2.1";
    ring.Enqueue("command=~0021 10", owner, ip);  // slot 2: superseded by slot 3
    ring.Enqueue("command=~0021 12", owner, ip);  // slot 3
    ring.Enqueue("command=~0021 9", owner, ip);   // slot 4: 15 characters, kept
    ring.Enqueue("command=~0021 12", owner, ip);  // slot 5
    fake.Ungate();
    ASSERT_TRUE(owner->WaitForCount(4));

    EXPECT_THAT(fake.Bodies(), ElementsAre("query=hold", "command=~0021 12", "command=~0021 9",
                                           "command=~0021 12"));
    EXPECT_THAT(owner->WParams(kMsgReply), ElementsAre(1, 3, 4, 5));
    // The superseded owner hears that no reply will come.
    EXPECT_THAT(owner->DroppedBodies(), ElementsAre("command=~0021 10"));
    EXPECT_THAT(ring.Slot(2).ip, IsEmpty());
    EXPECT_EQ(ring.Slot(3).ip, ip);
}

TEST_F(RequestRingTest, CommandsForDifferentSettingsWithTheSameStartAreAllSent) {
    RequestRing ring(console, Options());
    ring.StartRequestWorker();
    HoldWorker(ring, owner);
    const std::string ip = "127.0.2.1";
    ring.Enqueue("command=~00100 1", owner, ip);  // source lock
    ring.Enqueue("command=~00105 1", owner, ip);  // DirectPower: another setting
    ring.Enqueue("command=~00105 0", owner, ip);  // DirectPower again: supersedes the one before
    fake.Ungate();
    ASSERT_TRUE(owner->WaitForCount(3));
    EXPECT_THAT(fake.Bodies(), ElementsAre("query=hold", "command=~00100 1", "command=~00105 0"));
    EXPECT_THAT(owner->DroppedBodies(), ElementsAre("command=~00105 1"));
}

TEST_F(RequestRingTest, SameCommandQueuedForEveryTargetReachesEveryTarget) {
    console.targetIps = {"127.0.2.1", "127.0.2.2", "127.0.2.3"};
    RequestRing ring(console, Options());
    ring.StartRequestWorker();
    HoldWorker(ring, owner);
    ring.Enqueue("command=~0021 10", owner, "");
    ring.Enqueue("command=~0021 12", owner, "");
    fake.Ungate();
    ASSERT_TRUE(owner->WaitForCount(7));

    std::vector<std::string> ips;
    for (const auto& call : fake.Calls())
        ips.push_back(call.ip);
    EXPECT_THAT(ips, ElementsAre("127.0.2.9", "127.0.2.1", "127.0.2.2", "127.0.2.3", "127.0.2.1",
                                 "127.0.2.2", "127.0.2.3"));
}

// The marker's owner asked for the flush; another owner whose change it discards is told (a
// discarded query is only stale).
TEST_F(RequestRingTest, FlushMarkerDiscardsEarlierRequestsUnsentAndTellsOnlyOtherOwners) {
    RequestRing ring(console, Options());
    ring.StartRequestWorker();
    HoldWorker(ring, owner);
    auto other = std::make_shared<RecordingSink>();
    auto bystander = std::make_shared<RecordingSink>();
    ring.Enqueue("set=r1", other, "127.0.2.1");           // slot 2
    ring.Enqueue("set=network", bystander, "127.0.2.1");  // slot 3
    ring.Enqueue("query=b", bystander, "127.0.2.1");      // slot 4
    ring.Enqueue(kFlushMarker, other, "127.0.2.1");       // slot 5
    ring.Enqueue("query=r3", owner, "127.0.2.1");         // slot 6
    fake.Ungate();
    ASSERT_TRUE(owner->WaitForCount(2));

    EXPECT_THAT(fake.Bodies(), ElementsAre("query=hold", "query=r3"));
    EXPECT_THAT(owner->WParams(kMsgReply), ElementsAre(1, 6));
    EXPECT_THAT(other->Messages(), IsEmpty());
    EXPECT_THAT(other->DroppedBodies(), IsEmpty());
    EXPECT_THAT(bystander->Messages(), IsEmpty());
    EXPECT_THAT(bystander->DroppedBodies(), ElementsAre("set=network"));
    EXPECT_THAT(ring.Slot(2).ip, IsEmpty());
    EXPECT_THAT(ring.Slot(3).ip, IsEmpty());
    EXPECT_THAT(ring.Slot(4).ip, IsEmpty());
    EXPECT_EQ(ring.Slot(6).ip, "127.0.2.1");
}

TEST_F(RequestRingTest, NewestOfTwoFlushMarkersWinsAndATrailingMarkerLeavesTheRingEmpty) {
    RequestRing ring(console, Options());
    ring.StartRequestWorker();
    HoldWorker(ring, owner);
    ring.Enqueue("query=r1", owner, "127.0.2.1");    // slot 2
    ring.Enqueue(kFlushMarker, owner, "127.0.2.1");  // slot 3
    ring.Enqueue("query=r2", owner, "127.0.2.1");    // slot 4
    ring.Enqueue(kFlushMarker, owner, "127.0.2.1");  // slot 5
    ring.Enqueue("query=r3", owner, "127.0.2.1");    // slot 6
    fake.Ungate();
    ASSERT_TRUE(owner->WaitForCount(2));
    EXPECT_THAT(fake.Bodies(), ElementsAre("query=hold", "query=r3"));
    EXPECT_THAT(owner->WParams(kMsgReply), ElementsAre(1, 6));
    for (uint32_t slot = 2; slot <= 4; ++slot)
        EXPECT_THAT(ring.Slot(slot).ip, IsEmpty());

    fake.LimitPermits(0);
    ring.Enqueue("query=hold", owner, "127.0.2.9");  // slot 7
    ASSERT_TRUE(fake.WaitForCalls(3));
    ring.Enqueue("query=r4", owner, "127.0.2.1");    // slot 8
    ring.Enqueue(kFlushMarker, owner, "127.0.2.1");  // slot 9, the newest
    fake.Ungate();
    ASSERT_TRUE(owner->WaitForCount(3));
    for (int i = 0; i < 500 && ring.Tail() != ring.Head(); ++i)
        std::this_thread::sleep_for(5ms);
    EXPECT_EQ(ring.Tail(), 9u);
    ring.Enqueue("query=probe", owner, "127.0.2.1");  // slot 10
    ASSERT_TRUE(owner->WaitForCount(4));
    EXPECT_THAT(owner->WParams(kMsgReply), ElementsAre(1, 6, 7, 10));
    EXPECT_EQ(fake.Bodies().size(), 4u);
    EXPECT_EQ(ring.Tail(), ring.Head());
}

TEST_F(RequestRingTest, FailedSendStillNotifiesWithAnEmptyReply) {
    console.targetIps = {"127.0.2.1", ""};
    fake.FailOn("query=info");
    RequestRing ring(console, Options());
    ring.StartRequestWorker();
    ring.Enqueue("query=info", owner, "");
    ASSERT_TRUE(owner->WaitForCount(2));
    EXPECT_THAT(owner->WParams(kMsgReply), ElementsAre(1, 2));
    EXPECT_THAT(ring.Slot(1).reply, IsEmpty());
    EXPECT_THAT(ring.Slot(2).reply, IsEmpty());
}

TEST_F(RequestRingTest, DestroyedOwnerIsSkippedAndOthersAreStillTold) {
    RequestRing ring(console, Options());
    ring.SetStatusWindow(status);
    ring.StartRequestWorker();
    HoldWorker(ring, owner);
    auto doomed = std::make_shared<RecordingSink>();
    ring.Enqueue("query=a", doomed, "127.0.2.1");
    ring.Enqueue("query=b", doomed, "127.0.2.1");
    ring.Enqueue("query=c", owner, "127.0.2.1");
    doomed.reset();
    status.reset();  // the settings dialog goes while the worker runs
    fake.Ungate();
    ASSERT_TRUE(owner->WaitForCount(2));
    EXPECT_THAT(owner->WParams(kMsgReply), ElementsAre(1, 4));
    EXPECT_THAT(fake.Bodies(), ElementsAre("query=hold", "query=a", "query=b", "query=c"));
}

TEST_F(RequestRingTest, WatchdogReplacesAHungWorkerEmptiesTheRingAndLaterRequestsWork) {
    fake.HangOn("query=hang");
    RequestRing ring(console, Options());
    const uint64_t first = ring.StartRequestWorker();
    auto abandoned = std::make_shared<RecordingSink>();
    ring.Enqueue("query=hang", abandoned, "127.0.2.1");
    ASSERT_TRUE(fake.WaitForCalls(1));
    ring.Enqueue("query=pending", abandoned, "127.0.2.1");

    for (uint32_t i = 1; i < kWatchdogTicks; ++i)
        ring.WatchdogTick();
    EXPECT_EQ(ring.Generation(), first);
    EXPECT_EQ(ring.BusyCounter(), kWatchdogTicks - 1);
    EXPECT_EQ(fake.Cancelled(), 0u);

    ring.WatchdogTick();
    EXPECT_NE(ring.Generation(), first);
    EXPECT_EQ(ring.Head(), 0u);
    EXPECT_EQ(ring.Tail(), 0u);
    ASSERT_TRUE(fake.WaitForReturns(1));
    EXPECT_EQ(fake.Cancelled(), 1u);

    ring.Enqueue("query=after", owner, "127.0.2.1");
    ASSERT_TRUE(owner->WaitForCount(1));
    EXPECT_THAT(owner->WParams(kMsgReply), ElementsAre(1));
    EXPECT_EQ(ring.Slot(1).reply, FakeProjector::ReplyFor("127.0.2.1", "query=after"));
    EXPECT_THAT(fake.Bodies(), ElementsAre("query=hang", "query=after"));
    EXPECT_THAT(abandoned->Messages(), IsEmpty());
}

TEST_F(RequestRingTest, WatchdogNeverTripsWhileTheWorkerIsIdleOrPausing) {
    RequestRing ring(console, Options());
    const uint64_t generation = ring.StartRequestWorker();
    for (int i = 0; i < 100; ++i)
        ring.WatchdogTick();
    ring.Enqueue("query=info", owner, "127.0.2.1");
    ASSERT_TRUE(owner->WaitForCount(1));
    for (int i = 0; i < 100; ++i)
        ring.WatchdogTick();
    EXPECT_EQ(ring.Generation(), generation);
    ring.Enqueue("query=info", owner, "127.0.2.1");
    ASSERT_TRUE(owner->WaitForCount(2));
}

TEST_F(RequestRingTest, ShutdownStillSendsPendingSlotsOnePauseApart) {
    RequestRing ring(console, Options());
    ring.StartRequestWorker();
    HoldWorker(ring, owner);
    ring.Enqueue("query=a", owner, "127.0.2.1");
    ring.Enqueue("query=b", owner, "127.0.2.1");
    fake.Ungate();
    ring.Shutdown();
    EXPECT_THAT(fake.Bodies(), ElementsAre("query=hold", "query=a", "query=b"));
    EXPECT_THAT(owner->WParams(kMsgReply), ElementsAre(1, 2, 3));
}

TEST_F(RequestRingTest, ShutdownWithAHungProjectorCancelsAfterTheGraceAndReturns) {
    fake.HangOn("query=hang");
    RequestRingOptions options = Options();
    options.shutdownGrace = 200ms;
    RequestRing ring(console, options);
    ring.StartRequestWorker();
    ring.Enqueue("query=hang", owner, "127.0.2.1");
    ring.Enqueue("query=never", owner, "127.0.2.1");
    ASSERT_TRUE(fake.WaitForCalls(1));

    const auto start = std::chrono::steady_clock::now();
    ring.Shutdown();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);  // only catches a hang
    EXPECT_EQ(fake.Cancelled(), 1u);
    EXPECT_THAT(fake.Bodies(), ElementsAre("query=hang"));
    EXPECT_THAT(owner->Messages(), IsEmpty());
    // Shut down for good: the watchdog does not bring a worker back.
    for (uint32_t i = 0; i < 2 * kWatchdogTicks; ++i)
        ring.WatchdogTick();
    ring.Enqueue("query=later", owner, "127.0.2.1");
    EXPECT_EQ(fake.Calls().size(), 1u);
}

TEST_F(RequestRingTest, SenderThatIgnoresCancellationNeitherHangsShutdownNorOutlivesSafely) {
    fake.StickOn("query=stuck");
    auto sink = std::make_shared<RecordingSink>();
    {
        RequestRingOptions options = Options();
        options.shutdownGrace = 100ms;
        RequestRing ring(console, options);
        ring.StartRequestWorker();
        ring.Enqueue("query=stuck", sink, "127.0.2.1");
        ASSERT_TRUE(fake.WaitForCalls(1));
        // A watchdog restart leaves the stuck worker behind too.
        for (uint32_t i = 0; i < kWatchdogTicks; ++i)
            ring.WatchdogTick();
        ring.Enqueue("query=stuck", sink, "127.0.2.1");
        ASSERT_TRUE(fake.WaitForCalls(2));
        const auto start = std::chrono::steady_clock::now();
        ring.Shutdown();
        EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    }
    fake.Release();  // the left-behind workers return into a ring that is gone
    ASSERT_TRUE(fake.WaitForReturns(2));
    std::this_thread::sleep_for(50ms);
    EXPECT_THAT(sink->Messages(), IsEmpty());
}

TEST_F(RequestRingTest, RestartEmptiesTheRingAndAbandonsItsSlots) {
    RequestRing ring(console, Options());
    ring.StartRequestWorker();
    HoldWorker(ring, owner);
    ring.Enqueue("query=a", owner, "127.0.2.1");
    ring.StartRequestWorker();
    EXPECT_EQ(ring.Head(), 0u);
    fake.Ungate();
    ring.Enqueue("query=b", owner, "127.0.2.1");
    ASSERT_TRUE(owner->WaitForCount(1));
    EXPECT_THAT(owner->WParams(kMsgReply), ElementsAre(1));
    EXPECT_EQ(ring.Slot(1).body, "query=b");
    EXPECT_THAT(fake.Bodies(), ElementsAre("query=hold", "query=b"));
}

}  // namespace
}  // namespace vistrel
