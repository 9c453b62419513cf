// The ring and the batch over the real transport, against a local HTTP peer.
#include <algorithm>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fake_projector.h"
#include "protocol/request_ring.h"
#include "protocol/test_http_server.h"

namespace vistrel {
namespace {

using namespace std::chrono_literals;
using test::RecordingSink;
using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::IsEmpty;
using TestServer = vistrel::testing::TestHttpServer;

constexpr char kReply[] = "<return>\n<result>OK";

class RequestRingHttpTest : public ::testing::Test {
  protected:
    RequestRingHttpTest() : server("127.0.2.20") {
        server.SetResponse(TestServer::Response(200, "OK", kReply));
        console.profile.httpPort = server.Port();
        options.pause = 20ms;
        options.shutdownGrace = 300ms;
    }

    TestServer server;
    Console console;
    RequestRingOptions options;
    std::shared_ptr<RecordingSink> owner = std::make_shared<RecordingSink>();
};

TEST_F(RequestRingHttpTest, QueuedRequestIsPostedAndItsReplyStoredInTheSlot) {
    RequestRing ring(console, options);
    ring.StartRequestWorker();
    ring.Enqueue("command=~0000 1", owner, "127.0.2.20");
    ASSERT_TRUE(owner->WaitForCount(1));
    EXPECT_THAT(owner->WParams(kMsgReply), ElementsAre(1));
    EXPECT_EQ(ring.Slot(1).reply, kReply);
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_THAT(server.Requests()[0], EndsWith("\r\n\r\ncommand=~0000 1"));
}

TEST_F(RequestRingHttpTest, RefusedConnectionIsStillNotifiedWithAnEmptyReply) {
    vistrel::testing::RefusingPort refusing("127.0.2.21");
    console.profile.httpPort = refusing.Port();
    RequestRing ring(console, options);
    ring.StartRequestWorker();
    ring.Enqueue("query=info", owner, "127.0.2.21");
    ASSERT_TRUE(owner->WaitForCount(1));
    EXPECT_THAT(ring.Slot(1).reply, IsEmpty());
}

TEST_F(RequestRingHttpTest, WatchdogCancelsAHungExchangeAndTheNewWorkerCarriesOn) {
    server.SetMode(TestServer::Mode::kHang);
    RequestRing ring(console, options);
    const uint64_t first = ring.StartRequestWorker();
    auto abandoned = std::make_shared<RecordingSink>();
    ring.Enqueue("query=info", abandoned, "127.0.2.20");
    ASSERT_TRUE(server.WaitForRequests(1, 5s));
    for (uint32_t i = 0; i < kWatchdogTicks; ++i)
        ring.WatchdogTick();
    EXPECT_NE(ring.Generation(), first);

    server.SetMode(TestServer::Mode::kReply);
    ring.Enqueue("query=group", owner, "127.0.2.20");
    ASSERT_TRUE(owner->WaitForCount(1));
    EXPECT_EQ(ring.Slot(1).reply, kReply);
    EXPECT_THAT(abandoned->Messages(), IsEmpty());
}

TEST_F(RequestRingHttpTest, ShutdownWithAHungProjectorReturnsSoonAfterTheGrace) {
    server.SetMode(TestServer::Mode::kHang);
    auto ring = std::make_unique<RequestRing>(console, options);
    ring->StartRequestWorker();
    ring->Enqueue("query=info", owner, "127.0.2.20");
    console.batch.assign(4, MsgCmd{});
    for (MsgCmd& entry : console.batch)
        entry.ip = "127.0.2.20";
    auto batch = ring->SendBatch("query=info", owner);
    // One exchange per projector at a time: the batch waits behind the ring's hung request.
    ASSERT_TRUE(server.WaitForRequests(1, 5s));
    const auto start = std::chrono::steady_clock::now();
    ring.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);  // only catches a hang
    EXPECT_THAT(owner->Messages(), IsEmpty());
    EXPECT_EQ(batch->AnsweredCount(), 0u);
}

TEST_F(RequestRingHttpTest, BatchAnswersEveryEntryWithItsIndex) {
    constexpr size_t kCount = 40;
    console.batch.assign(kCount, MsgCmd{});
    for (MsgCmd& entry : console.batch)
        entry.ip = "127.0.2.20";
    console.batch[7].ip = "";  // an entry without an address fails at once
    RequestRing ring(console, options);
    auto batch = ring.SendBatch("command=~0000 0", owner);
    ASSERT_TRUE(batch->WaitAll(20s));
    ASSERT_TRUE(owner->WaitForCount(kCount));
    std::vector<uintptr_t> indices = owner->WParams(kMsgReply);
    std::sort(indices.begin(), indices.end());
    for (size_t i = 0; i < kCount; ++i) {
        EXPECT_EQ(indices[i], i);
        EXPECT_EQ(batch->Reply(i), i == 7 ? "" : kReply);
    }
    EXPECT_EQ(server.Requests().size(), kCount - 1);
}

}  // namespace
}  // namespace vistrel
