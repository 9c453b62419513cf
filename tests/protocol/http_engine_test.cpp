// The HTTP engine: many exchanges on one thread, one at a time per projector, a connection
// limit, prompt cancellation and stop, unusable addresses and a thread that cannot start.
#include "protocol/http_engine.h"

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <system_error>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fake_projector.h"
#include "protocol/batch_sender.h"
#include "protocol/http_exchange.h"
#include "protocol/test_http_server.h"
#include "sim/fleet.h"

namespace vistrel {
namespace {

using namespace std::chrono_literals;
using test::RecordingSink;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using TestServer = vistrel::testing::TestHttpServer;

constexpr char kReply[] = "<return>\n<result>OK";

// Replies by key, in the order they arrive, with a wait for a count.
class Replies {
  public:
    HttpEngine::Done For(const std::string& key) {
        return [this, key](std::string reply) {
            std::lock_guard lock(mutex_);
            replies_.emplace(key, std::move(reply));
            order_.push_back(key);
            changed_.notify_all();
        };
    }
    bool WaitFor(size_t count, std::chrono::milliseconds limit = 10s) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [&] { return replies_.size() >= count; });
    }
    bool Has(const std::string& key) {
        std::lock_guard lock(mutex_);
        return replies_.count(key) != 0;
    }
    std::string Reply(const std::string& key) {
        std::lock_guard lock(mutex_);
        auto it = replies_.find(key);
        return it == replies_.end() ? std::string("(none)") : it->second;
    }
    size_t Count(const std::string& key) {
        std::lock_guard lock(mutex_);
        return replies_.count(key);
    }
    std::vector<std::string> Order() {
        std::lock_guard lock(mutex_);
        return order_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::multimap<std::string, std::string> replies_;
    std::vector<std::string> order_;
};

HttpEngineOptions OnPort(uint16_t port) {
    HttpEngineOptions options;
    options.http.port = port;
    return options;
}

TEST(HttpEngineTest, PostsTheBodyUnchangedAndHandsBackTheReply) {
    TestServer server("127.0.2.30");
    server.SetResponse(TestServer::Response(404, "Not Found", kReply));
    Replies replies;  // outlives the engine, which may still answer at its end
    HttpEngine engine(OnPort(server.Port()));
    engine.Post("127.0.2.30", "command=~0000 1&x=%20", replies.For("a"));
    ASSERT_TRUE(replies.WaitFor(1));
    EXPECT_EQ(replies.Reply("a"), kReply);  // the status is not looked at
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_THAT(requests[0], StartsWith("POST /tgi/return.tgi HTTP/1.1\r\n"));
    EXPECT_THAT(requests[0], HasSubstr("\r\nContent-Type: application/x-www-form-urlencoded\r\n"));
    EXPECT_THAT(requests[0], ::testing::EndsWith("\r\n\r\ncommand=~0000 1&x=%20"));
}

TEST(HttpEngineTest, ExchangesWithOneProjectorRunOneAtATimeAndCancelWhereverTheyWait) {
    TestServer server("127.0.2.31");
    server.SetMode(TestServer::Mode::kHang);
    Replies replies;  // outlives the engine, which may still answer at its end
    HttpEngine engine(OnPort(server.Port()));
    auto first = std::make_shared<CancelToken>();
    auto second = std::make_shared<CancelToken>();
    engine.Post("127.0.2.31", "query=info", replies.For("first"), first);
    engine.Post("127.0.2.31", "query=group", replies.For("second"), second);
    ASSERT_TRUE(server.WaitForRequests(1, 5s));

    // The waiting one ends at once, without ever reaching the projector.
    second->Cancel();
    ASSERT_TRUE(replies.WaitFor(1));
    EXPECT_EQ(replies.Reply("second"), "");
    EXPECT_EQ(server.Connections(), 1u);

    // The connected one ends as promptly; the next exchange then gets the projector.
    first->Cancel();
    ASSERT_TRUE(replies.WaitFor(2));
    EXPECT_EQ(replies.Reply("first"), "");
    engine.Post("127.0.2.31", "query=model", replies.For("third"));
    ASSERT_TRUE(server.WaitForRequests(2, 5s));
    EXPECT_THAT(server.Requests()[1], ::testing::EndsWith("query=model"));
    EXPECT_EQ(engine.PeakTransfers(), 1u);
}

TEST(HttpEngineTest, ConnectionLimitHoldsTheRestUntilASlotFrees) {
    auto fleetOptions = sim::GenerateFleet(3, /*seed=*/7, "127.0.2.40");
    fleetOptions.discoveryPort = 0;
    fleetOptions.httpPort = 0;
    sim::Fleet fleet(std::move(fleetOptions));
    std::string error;
    ASSERT_TRUE(fleet.Start(&error)) << error;
    sim::Faults hang;
    hang.hang = true;
    fleet.SetFaults(0, hang);
    fleet.SetFaults(1, hang);

    HttpEngineOptions options = OnPort(fleet.HttpPort());
    options.maxTransfers = 2;
    Replies replies;  // outlives the engine, which may still answer at its end
    HttpEngine engine(options);
    auto cancel = std::make_shared<CancelToken>();
    engine.Post(fleet.Address(0), "query=info", replies.For("0"), cancel);
    engine.Post(fleet.Address(1), "query=info", replies.For("1"));
    engine.Post(fleet.Address(2), "query=info", replies.For("2"));
    ASSERT_TRUE(fleet.Log().WaitFor([](const auto& e) { return e.size() >= 2; }, 5s));
    cancel->Cancel();
    ASSERT_TRUE(replies.WaitFor(2));  // the cancelled one, and the third once it got the slot
    EXPECT_THAT(replies.Reply("2"), StartsWith("<return>"));
    EXPECT_EQ(replies.Reply("0"), "");
    EXPECT_FALSE(replies.Has("1"));
    EXPECT_EQ(engine.PeakTransfers(), 2u);
    engine.Stop();
    EXPECT_EQ(replies.Reply("1"), "");
}

TEST(HttpEngineTest, StopEndsEveryExchangeAtOnceAndLaterPostsFailAtOnce) {
    TestServer server("127.0.2.32");
    server.SetMode(TestServer::Mode::kHang);
    Replies replies;  // outlives the engine, which may still answer at its end
    HttpEngine engine(OnPort(server.Port()));
    for (int i = 0; i < 5; ++i)
        engine.Post("127.0.2.32", "query=info", replies.For("hung"));
    ASSERT_TRUE(server.WaitForRequests(1, 5s));
    engine.Stop();
    // Every exchange has had its (empty) reply by the time Stop returns.
    EXPECT_EQ(replies.Count("hung"), 5u);
    EXPECT_EQ(replies.Reply("hung"), "");
    engine.Post("127.0.2.32", "query=info", replies.For("late"));
    EXPECT_TRUE(replies.Has("late"));
    EXPECT_EQ(replies.Reply("late"), "");
}

TEST(HttpEngineTest, RepliesMayPostTheNextExchange) {
    TestServer server("127.0.2.33");
    server.SetResponse(TestServer::Response(200, "OK", kReply));
    Replies replies;  // outlives the engine, which may still answer at its end
    HttpEngine engine(OnPort(server.Port()));
    engine.Post("127.0.2.33", "query=info", [&](std::string reply) {
        replies.For("info")(std::move(reply));
        engine.Post("127.0.2.33", "query=group", replies.For("group"));
    });
    ASSERT_TRUE(replies.WaitFor(2));
    EXPECT_EQ(replies.Order(), (std::vector<std::string>{"info", "group"}));
    EXPECT_EQ(replies.Reply("group"), kReply);
}

TEST(HttpEngineTest, CancellingAShareOfQueuedExchangesKeepsTheRestInTheirOrder) {
    TestServer server("127.0.2.35");
    server.SetMode(TestServer::Mode::kHang);
    Replies replies;  // outlives the engine, which may still answer at its end
    HttpEngine engine(OnPort(server.Port()));
    // Two batches to one projector, interleaved; the first exchange holds the projector.
    auto dropped = std::make_shared<CancelToken>();
    auto kept = std::make_shared<CancelToken>();
    constexpr int kEach = 40;
    for (int i = 0; i < 2 * kEach; ++i) {
        engine.Post("127.0.2.35", "n=" + std::to_string(i), replies.For(std::to_string(i)),
                    i % 2 == 0 ? dropped : kept);
    }
    ASSERT_TRUE(server.WaitForRequests(1, 5s));
    server.SetMode(TestServer::Mode::kReply);
    server.SetResponse(TestServer::Response(200, "OK", kReply));
    dropped->Cancel();
    ASSERT_TRUE(replies.WaitFor(2 * kEach));
    for (int i = 0; i < 2 * kEach; ++i) {
        EXPECT_EQ(replies.Count(std::to_string(i)), 1u) << i;
        EXPECT_EQ(replies.Reply(std::to_string(i)), i % 2 == 0 ? "" : kReply) << i;
    }
    // The projector saw the held exchange, then the kept batch in the order posted.
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u + kEach);
    EXPECT_THAT(requests[0], ::testing::EndsWith("\r\n\r\nn=0"));
    for (int k = 0; k < kEach; ++k)
        EXPECT_THAT(requests[k + 1], ::testing::EndsWith("\r\n\r\nn=" + std::to_string(2 * k + 1)));

    // The projector is free again for a later exchange with a token already used.
    engine.Post("127.0.2.35", "later", replies.For("later"), kept);
    ASSERT_TRUE(replies.WaitFor(2 * kEach + 1));
    EXPECT_EQ(replies.Reply("later"), kReply);
}

TEST(HttpEngineTest, AnEndOnATimeLimitIsToldFromNoConnectionAndFromTimeSpentQueued) {
    TestServer server("127.0.2.36");
    server.SetMode(TestServer::Mode::kHang);
    HttpEngineOptions options = OnPort(server.Port());
    options.http.connectTimeoutMs = 400;
    options.http.totalTimeoutMs = 400;
    std::mutex mutex;
    std::condition_variable changed;
    std::map<std::string, ExchangeEnd> ends;
    auto into = [&](const std::string& key) {
        return [&, key](ExchangeEnd end) {
            std::lock_guard lock(mutex);
            ends.emplace(key, std::move(end));
            changed.notify_all();
        };
    };
    {
        HttpEngine engine(options);
        engine.PostExchange("127.0.2.36", "query=info", into("hung"));
        // Waits behind the hung exchange longer than any limit, then is closed unanswered.
        engine.PostExchange("127.0.2.36", "query=group", into("queued"));
        // Nobody listens there: refused at once.
        engine.PostExchange("127.0.2.37", "query=info", into("refused"));
        ASSERT_TRUE(server.WaitForRequests(1, 5s));
        server.SetMode(TestServer::Mode::kCloseAtOnce);
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, 20s, [&] { return ends.size() == 3; }));
    }
    EXPECT_EQ(ends["hung"].reply, "");
    EXPECT_TRUE(ends["hung"].timedOut);
    EXPECT_EQ(ends["queued"].reply, "");
    EXPECT_FALSE(ends["queued"].timedOut);
    EXPECT_EQ(ends["refused"].reply, "");
    EXPECT_FALSE(ends["refused"].timedOut);
    EXPECT_EQ(server.Requests().size(), 2u);
}

TEST(HttpEngineTest, UnusableAddressesAreRefusedAtOnceWithoutAThread) {
    for (const char* host : {"0.0.0.0", "0", "0.1.2.3", "255.255.255.255", "224.0.0.1",
                             "239.255.255.250", "", "10.0.0.1/x", "a@b", "127.1", "projector-3"}) {
        EXPECT_FALSE(IsUsableHostAddress(host)) << host;
    }
    for (const char* host : {"127.0.0.1", "10.77.0.2", "192.168.1.20"})
        EXPECT_TRUE(IsUsableHostAddress(host)) << host;

    Replies replies;  // outlives the engine, which may still answer at its end
    HttpEngine engine(OnPort(9));
    engine.Post("0.0.0.0", "query=info", replies.For("zero"));
    engine.Post("255.255.255.255", "query=info", replies.For("broadcast"));
    EXPECT_EQ(replies.Reply("zero"), "");
    EXPECT_EQ(replies.Reply("broadcast"), "");
    EXPECT_FALSE(engine.HasThread());

    // The synchronous request refuses them the same way.
    std::string reply = "old";
    CXHttpRequest request("0.0.0.0", "query=info", HttpOptions{9});
    EXPECT_FALSE(request.Send("POST", reply));
    EXPECT_EQ(reply, "");
}

// A starter that fails while `fail` is set, as when the process is out of threads.
ThreadStarter FailingStarter(std::shared_ptr<std::atomic<bool>> fail) {
    return [fail](std::function<void()> body) {
        if (fail->load())
            throw std::system_error(
                std::make_error_code(std::errc::resource_unavailable_try_again));
        return std::thread(std::move(body));
    };
}

class ReportCollector {
  public:
    ReportCollector() {
        previous_ = SetThreadFailureReporter([this](const std::string& message) {
            std::lock_guard lock(mutex_);
            messages_.push_back(message);
        });
    }
    ~ReportCollector() { SetThreadFailureReporter(previous_); }
    std::vector<std::string> Messages() {
        std::lock_guard lock(mutex_);
        return messages_;
    }

  private:
    std::mutex mutex_;
    std::vector<std::string> messages_;
    ThreadFailureReporter previous_;
};

TEST(HttpEngineTest, WithoutAThreadEveryPostIsAnsweredEmptyAndSaidOnceThenItRecovers) {
    ReportCollector reports;
    TestServer server("127.0.2.34");
    server.SetResponse(TestServer::Response(200, "OK", kReply));
    auto fail = std::make_shared<std::atomic<bool>>(true);
    HttpEngineOptions options = OnPort(server.Port());
    options.threadStarter = FailingStarter(fail);
    Replies replies;  // outlives the engine, which may still answer at its end
    HttpEngine engine(options);
    engine.Post("127.0.2.34", "query=info", replies.For("a"));
    engine.Post("127.0.2.34", "query=info", replies.For("b"));
    EXPECT_EQ(replies.Reply("a"), "");
    EXPECT_EQ(replies.Reply("b"), "");
    ASSERT_EQ(reports.Messages().size(), 1u);
    EXPECT_THAT(reports.Messages()[0], StartsWith("HTTP engine: no thread could be started"));

    fail->store(false);
    engine.Post("127.0.2.34", "query=info", replies.For("c"));
    ASSERT_TRUE(replies.WaitFor(3));
    EXPECT_EQ(replies.Reply("c"), kReply);
}

TEST(HttpEngineTest, BatchThroughTheEngineTellsEveryOwnerOnceOnOneThread) {
    constexpr size_t kCount = 60;
    auto fleetOptions = sim::GenerateFleet(kCount, /*seed=*/9, "127.0.4.1");
    fleetOptions.discoveryPort = 0;
    fleetOptions.httpPort = 0;
    sim::Fleet fleet(std::move(fleetOptions));
    std::string error;
    ASSERT_TRUE(fleet.Start(&error)) << error;
    auto engine = std::make_shared<HttpEngine>(OnPort(fleet.HttpPort()));
    BatchSender sender(engine);
    std::vector<MsgCmd> entries(kCount);
    for (size_t i = 0; i < kCount; ++i)
        entries[i].ip = fleet.Address(i);
    entries.push_back(MsgCmd{});  // no address: answered empty at once
    auto owner = std::make_shared<RecordingSink>();
    std::atomic<size_t> ok{0};
    auto batch = sender.Send(entries, "query=info", owner, [&](const MsgCmd& entry) {
        ok += entry.reply.starts_with("<return>") ? 1 : 0;
    });
    ASSERT_TRUE(batch->WaitAll(20s));
    EXPECT_EQ(ok.load(), kCount);
    EXPECT_EQ(sender.ThreadCount(), 0u);
    EXPECT_EQ(batch->Reply(kCount), "");
    const auto messages = owner->Messages();
    ASSERT_EQ(messages.size(), kCount + 1);
    std::vector<uintptr_t> indices;
    for (const auto& message : messages)
        indices.push_back(message.wparam);
    std::sort(indices.begin(), indices.end());
    for (size_t i = 0; i <= kCount; ++i)
        EXPECT_EQ(indices[i], i);
}

}  // namespace
}  // namespace vistrel
