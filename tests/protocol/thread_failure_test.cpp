// When no thread can be started the request queue and the batch pool degrade instead of
// ending the process: requests are answered empty, fewer threads carry the rest, and the
// reason is said once.
#include <atomic>
#include <system_error>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fake_projector.h"
#include "protocol/request_ring.h"
#include "protocol/thread_starter.h"

namespace vistrel {
namespace {

using namespace std::chrono_literals;
using test::FakeProjector;
using test::RecordingSink;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

// Lets `allowed` threads start, then fails as an exhausted process does.
struct Starter {
    std::shared_ptr<std::atomic<int>> allowed = std::make_shared<std::atomic<int>>(0);
    ThreadStarter Get() const {
        return [allowed = allowed](std::function<void()> body) {
            if (allowed->fetch_sub(1) <= 0)
                throw std::system_error(
                    std::make_error_code(std::errc::resource_unavailable_try_again));
            return std::thread(std::move(body));
        };
    }
};

class Reports {
  public:
    Reports() {
        previous_ = SetThreadFailureReporter([this](const std::string& message) {
            std::lock_guard lock(mutex_);
            messages_.push_back(message);
        });
    }
    ~Reports() { SetThreadFailureReporter(previous_); }
    std::vector<std::string> Messages() {
        std::lock_guard lock(mutex_);
        return messages_;
    }

  private:
    std::mutex mutex_;
    std::vector<std::string> messages_;
    ThreadFailureReporter previous_;
};

TEST(ThreadFailureTest, RingWithoutAWorkerAnswersEmptyAtOnceAndTheWatchdogStartsOneLater) {
    Reports reports;
    FakeProjector fake;
    Console console;
    Starter starter;
    RequestRingOptions options;
    options.pause = 10ms;
    options.sender = fake.Sender();
    options.threadStarter = starter.Get();
    RequestRing ring(console, options);
    ring.StartRequestWorker();
    EXPECT_FALSE(ring.HasWorker());

    auto owner = std::make_shared<RecordingSink>();
    ring.Enqueue("query=info", owner, "127.0.2.60");
    ring.Enqueue(kFlushMarker, owner, "127.0.2.60");  // nobody to tell about a marker
    ring.Enqueue("query=group", owner, "127.0.2.60");
    const auto messages = owner->WParams(kMsgReply);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(ring.Slot(messages[0]).reply, "");
    EXPECT_EQ(ring.Slot(messages[1]).body, "query=group");
    EXPECT_EQ(fake.Calls().size(), 0u);
    EXPECT_EQ(ring.Head(), ring.Tail());
    ASSERT_EQ(reports.Messages().size(), 1u);
    EXPECT_THAT(reports.Messages()[0], HasSubstr("request queue worker"));

    starter.allowed->store(1);
    ring.WatchdogTick();
    EXPECT_TRUE(ring.HasWorker());
    ring.Enqueue("query=model", owner, "127.0.2.60");
    ASSERT_TRUE(owner->WaitForCount(3));
    EXPECT_EQ(ring.Slot(owner->WParams(kMsgReply)[2]).reply,
              FakeProjector::ReplyFor("127.0.2.60", "query=model"));
    EXPECT_EQ(reports.Messages().size(), 1u);
}

TEST(ThreadFailureTest, BatchPoolCarriesOnWithTheThreadsItGotOrAnswersEmptyWithNone) {
    Reports reports;
    FakeProjector fake;
    std::vector<MsgCmd> entries(6);
    for (size_t i = 0; i < entries.size(); ++i)
        entries[i].ip = "127.0.2." + std::to_string(70 + i);

    Starter one;
    one.allowed->store(1);
    BatchSender fewer(fake.Sender(), 4, one.Get());
    auto owner = std::make_shared<RecordingSink>();
    auto batch = fewer.Send(entries, "query=info", owner);
    ASSERT_TRUE(batch->WaitAll(10s));
    EXPECT_EQ(fewer.ThreadCount(), 1u);
    for (size_t i = 0; i < entries.size(); ++i)
        EXPECT_EQ(batch->Reply(i), FakeProjector::ReplyFor(entries[i].ip, "query=info"));

    Starter none;
    BatchSender without(fake.Sender(), 4, none.Get());
    auto owner2 = std::make_shared<RecordingSink>();
    auto empty = without.Send(entries, "query=info", owner2);
    EXPECT_TRUE(empty->WaitAll(0ms));  // answered before Send returned
    EXPECT_EQ(owner2->Messages().size(), entries.size());
    EXPECT_EQ(empty->Reply(0), "");
    // Said once, however often it happened.
    ASSERT_EQ(reports.Messages().size(), 1u);
    EXPECT_THAT(reports.Messages()[0], HasSubstr("batch sender"));
}

}  // namespace
}  // namespace vistrel
