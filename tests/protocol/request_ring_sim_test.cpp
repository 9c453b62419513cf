// The ring and the batch against the in-process projector fleet.
#include <algorithm>
#include <map>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fake_projector.h"
#include "protocol/request_ring.h"
#include "sim/fleet.h"

namespace vistrel {
namespace {

using namespace std::chrono_literals;
using test::RecordingSink;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StartsWith;

class RequestRingSimTest : public ::testing::Test {
  protected:
    void StartFleet(size_t count, const std::string& first) {
        auto fleetOptions = sim::GenerateFleet(count, /*seed=*/5, first);
        fleetOptions.discoveryPort = 0;
        fleetOptions.httpPort = 0;
        fleet = std::make_unique<sim::Fleet>(std::move(fleetOptions));
        std::string error;
        ASSERT_TRUE(fleet->Start(&error)) << error;
        console.profile.httpPort = fleet->HttpPort();
        options.pause = 50ms;
        options.shutdownGrace = 500ms;
    }

    std::vector<sim::LogEntry> HttpLog() const {
        std::vector<sim::LogEntry> entries;
        for (const auto& entry : fleet->Log().Entries()) {
            if (entry.kind == "http")
                entries.push_back(entry);
        }
        return entries;
    }

    std::unique_ptr<sim::Fleet> fleet;
    Console console;
    RequestRingOptions options;
    std::shared_ptr<RecordingSink> owner = std::make_shared<RecordingSink>();
};

TEST_F(RequestRingSimTest, TargetsAreAskedInListOrderOnePauseApart) {
    StartFleet(3, "127.0.2.31");
    console.targetIps = {fleet->Address(2), fleet->Address(0), fleet->Address(1)};
    RequestRing ring(console, options);
    ring.StartRequestWorker();
    ring.Enqueue("query=info", owner, "");
    ASSERT_TRUE(owner->WaitForCount(3));
    EXPECT_THAT(owner->WParams(kMsgReply), ElementsAre(1, 2, 3));
    for (uint32_t slot = 1; slot <= 3; ++slot) {
        EXPECT_THAT(ring.Slot(slot).reply, StartsWith("<return>"));
    }
    const auto log = HttpLog();
    ASSERT_EQ(log.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(log[i].address, console.targetIps[i]);
        EXPECT_EQ(log[i].body, "query=info");
        // The log counts whole milliseconds.
        if (i > 0) {
            EXPECT_GE(log[i].timeMs - log[i - 1].timeMs, options.pause.count() - 1);
        }
    }
}

TEST_F(RequestRingSimTest, OnlyTheRequestAfterTheNewestFlushMarkerReachesTheProjector) {
    StartFleet(2, "127.0.2.41");
    sim::Faults slow;
    slow.replyDelayMs = 400;
    fleet->SetFaults(1, slow);  // holds the worker while the rest is queued
    RequestRing ring(console, options);
    ring.StartRequestWorker();
    const std::string ip = fleet->Address(0);
    ring.Enqueue("query=model", owner, fleet->Address(1));
    // Taken: its reply is 400 ms away, time enough to queue the rest behind it.
    for (int i = 0; i < 1000 && ring.Tail() != 1; ++i)
        std::this_thread::sleep_for(1ms);
    ASSERT_EQ(ring.Tail(), 1u);
    ring.Enqueue("command=~0021 10", owner, ip);
    ring.Enqueue("query=info", owner, ip);
    ring.Enqueue(kFlushMarker, owner, ip);
    ring.Enqueue("command=~0021 10", owner, ip);
    ring.Enqueue("command=~0021 12", owner, ip);
    ASSERT_TRUE(owner->WaitForCount(2));
    EXPECT_THAT(owner->WParams(kMsgReply), ElementsAre(1, 6));
    std::vector<std::string> bodies;
    for (const auto& entry : HttpLog())
        bodies.push_back(entry.body);
    EXPECT_THAT(bodies, ElementsAre("query=model", "command=~0021 12"));
}

TEST_F(RequestRingSimTest, HungProjectorIsLeftByTheWatchdogAndShutdownStaysWithinTheGrace) {
    StartFleet(2, "127.0.2.51");
    sim::Faults hang;
    hang.hang = true;
    fleet->SetFaults(0, hang);
    auto ring = std::make_unique<RequestRing>(console, options);
    ring->StartRequestWorker();
    auto abandoned = std::make_shared<RecordingSink>();
    ring->Enqueue("query=info", abandoned, fleet->Address(0));
    ASSERT_TRUE(fleet->Log().WaitFor([](const auto& e) { return !e.empty(); }, 5s));
    for (uint32_t i = 0; i < kWatchdogTicks; ++i)
        ring->WatchdogTick();

    ring->Enqueue("query=info", owner, fleet->Address(1));
    ASSERT_TRUE(owner->WaitForCount(1));
    EXPECT_THAT(ring->Slot(1).reply, StartsWith("<return>"));

    ring->Enqueue("query=group", owner, fleet->Address(0));  // hangs again
    ASSERT_TRUE(fleet->Log().WaitFor([](const auto& e) { return e.size() >= 3; }, 5s));
    const auto start = std::chrono::steady_clock::now();
    ring.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);  // only catches a hang
    EXPECT_THAT(abandoned->Messages(), IsEmpty());
    EXPECT_EQ(owner->Messages().size(), 1u);
}

TEST_F(RequestRingSimTest, BatchReachesEveryProjectorOnceAndAnswersEveryIndex) {
    constexpr size_t kCount = 120;
    StartFleet(kCount, "127.0.2.100");
    sim::Faults gone;
    gone.gone = true;
    fleet->SetFaults(5, gone);
    console.batch.resize(kCount);
    for (size_t i = 0; i < kCount; ++i)
        console.batch[i].ip = fleet->Address(i);
    RequestRing ring(console, options);
    auto batch = ring.SendBatch("query=info", owner);
    ASSERT_TRUE(batch->WaitAll(30s));
    ASSERT_TRUE(owner->WaitForCount(kCount));

    std::vector<uintptr_t> indices = owner->WParams(kMsgReply);
    std::sort(indices.begin(), indices.end());
    for (size_t i = 0; i < kCount; ++i) {
        EXPECT_EQ(indices[i], i);
        if (i == 5) {
            EXPECT_THAT(batch->Reply(i), IsEmpty());
        } else {
            EXPECT_THAT(batch->Reply(i), StartsWith("<return>"));
        }
    }
    std::map<std::string, int> perAddress;
    for (const auto& entry : HttpLog())
        ++perAddress[entry.address];
    EXPECT_EQ(perAddress.size(), kCount - 1);
    for (const auto& [address, requests] : perAddress)
        EXPECT_EQ(requests, 1) << address;
}

}  // namespace
}  // namespace vistrel
