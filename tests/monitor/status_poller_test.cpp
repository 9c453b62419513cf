// The polling thread against scripted projectors: what it asks, when, and what it stores.
#include "monitor/status_poller.h"

#include <gtest/gtest.h>

#include <gmock/gmock.h>
#include <system_error>

#include "monitor/monitor_fakes.h"

namespace vistrel {
namespace {

using namespace std::chrono_literals;
using test::LoopbackProfile;
using test::ManualClock;
using test::ScriptedPeer;
using test::WaitUntil;

// "ON", lamp 0123, HDMI, firmware A123, sRGB.
const std::string kInfoReply = "<return>\n<info>OK1012305A1234";
std::string GroupReply(const std::string& group, const std::string& name) {
    std::string reply = "<return>\n<group>" + group;
    reply.resize(16 + 32, ' ');
    reply += name;
    reply.resize(16 + 64, ' ');
    return reply;
}

std::string Reply(const std::string& ip, const std::string& body) {
    if (body == "query=info")
        return kInfoReply;
    if (body == "query=group")
        return GroupReply("Lab", "P-" + ip);
    return {};
}

class Polling : public ::testing::Test {
  protected:
    void SetUp() override {
        options.pause = 5ms;
        options.idleSleep = 20ms;
    }
    void Add(const std::string& mac, const std::string& ip, uint32_t freshness = 5) {
        Info info(mac);
        info.ip = ip;
        info.freshness = freshness;
        console.table.Lock().Store(info);
    }
    Info Record(const std::string& mac) {
        Info out;
        EXPECT_TRUE(console.table.Lock().Lookup(mac, out));
        return out;
    }
    void Start() {
        poller = std::make_unique<StatusPoller>(console, options, peer);
        poller->StartPolling();
    }
    // Waits for `n` more passes to have ended.
    bool WaitPasses(uint64_t n) {
        const uint64_t target = poller->Passes() + n + 1;  // the current one may be half done
        return WaitUntil([&] { return poller->Passes() >= target; });
    }

    ManualClock clock{50000};
    Console console{LoopbackProfile(), clock};
    PollerOptions options;
    std::shared_ptr<ScriptedPeer> peer = std::make_shared<ScriptedPeer>(Reply);
    std::unique_ptr<StatusPoller> poller;
};

TEST_F(Polling, EmptyTablePassesSendNothing) {
    Add("AAAAAAAAAAAA", "127.0.3.20", 3);  // at the threshold: not polled
    Start();
    ASSERT_TRUE(WaitPasses(3));
    EXPECT_EQ(peer->Count(), 0u);
}

TEST_F(Polling, InfoThenGroupDecodedIntoTheRecordInTableOrder) {
    Add("BBBBBBBBBBBB", "127.0.3.21");
    Add("AAAAAAAAAAAA", "127.0.3.20");
    Start();
    ASSERT_TRUE(WaitUntil([&] { return peer->Count() >= 4; }));
    // A request is counted before its reply is stored, and a stop drops a reply still on
    // the way: wait for the last one to land before stopping.
    ASSERT_TRUE(WaitUntil([&] { return Record("AAAAAAAAAAAA").projectorName == "P-127.0.3.20"; }));
    poller->Stop();
    auto requests = peer->Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0].ip, "127.0.3.21");
    EXPECT_EQ(requests[0].body, "query=info");
    EXPECT_EQ(requests[1].ip, "127.0.3.21");
    EXPECT_EQ(requests[1].body, "query=group");
    EXPECT_EQ(requests[2].ip, "127.0.3.20");
    EXPECT_EQ(requests[3].body, "query=group");

    Info info = Record("AAAAAAAAAAAA");
    EXPECT_EQ(info.power, "ON");
    EXPECT_EQ(info.lampHour, "0123");
    EXPECT_EQ(info.source, "HDMI");
    EXPECT_EQ(info.fwVersion, "A123");
    EXPECT_EQ(info.displayMode, "sRGB");
    EXPECT_EQ(info.groupName, "Lab");
    EXPECT_EQ(info.projectorName, "P-127.0.3.20");
    EXPECT_EQ(info.pollTick, 50000u);
}

TEST_F(Polling, SuccessfulProjectorIsNotPolledAgainBeforeFifteenSeconds) {
    Add("AAAAAAAAAAAA", "127.0.3.20");
    Start();
    ASSERT_TRUE(WaitUntil([&] { return peer->Count() == 2; }));
    clock.Advance(14999);
    ASSERT_TRUE(WaitPasses(3));
    EXPECT_EQ(peer->Count(), 2u);
    clock.Advance(1);
    ASSERT_TRUE(WaitUntil([&] { return peer->Count() == 4; }));
    EXPECT_EQ(Record("AAAAAAAAAAAA").pollTick, 65000u);
}

TEST_F(Polling, TheFifteenSecondsAreCountedFromTheStoredReplyNotFromTheSend) {
    // Every info reply takes 3 s of the projector's time: sent at 50 s, stored at 53 s.
    peer = std::make_shared<ScriptedPeer>([this](const std::string& ip, const std::string& body) {
        if (body == "query=info")
            clock.Advance(3000);
        return Reply(ip, body);
    });
    Add("AAAAAAAAAAAA", "127.0.3.20");
    Start();
    ASSERT_TRUE(WaitUntil([&] { return peer->Count() == 2; }));
    ASSERT_TRUE(WaitUntil([&] { return Record("AAAAAAAAAAAA").pollTick == 53000u; }));
    clock.Set(67999);  // 15 s after the send have passed, 15 s after the reply not yet
    ASSERT_TRUE(WaitPasses(3));
    EXPECT_EQ(peer->Count(), 2u);
    clock.Set(68000);
    ASSERT_TRUE(WaitUntil([&] { return peer->Count() == 4; }));
    ASSERT_TRUE(WaitUntil([&] { return Record("AAAAAAAAAAAA").pollTick == 71000u; }));
}

TEST_F(Polling, AFleetDueAtOnceIsStartedInBurstsInTableOrderAndEachPolledOnce) {
    options.maxStartsPerLook = 3;
    options.burstGap = 1ms;
    constexpr int kCount = 10;
    for (int i = 0; i < kCount; ++i)
        Add(std::string(12, static_cast<char>('A' + i)), "127.0.3." + std::to_string(20 + i));
    std::mutex mutex;
    std::vector<size_t> polled;
    poller = std::make_unique<StatusPoller>(console, options, peer);
    poller->SetPassObserver([&](const PollPassStats& stats) {
        std::lock_guard lock(mutex);
        polled.push_back(stats.polled);
    });
    poller->StartPolling();
    ASSERT_TRUE(WaitUntil([&] { return peer->Count() == 2 * kCount; }));
    ASSERT_TRUE(WaitPasses(3));  // the clock stands still: nobody falls due again
    poller->Stop();
    const auto requests = peer->Requests();
    ASSERT_EQ(requests.size(), 2u * kCount);
    for (int i = 0; i < kCount; ++i) {
        EXPECT_EQ(requests[2 * i].ip, "127.0.3." + std::to_string(20 + i));
        EXPECT_EQ(requests[2 * i].body, "query=info");
        EXPECT_EQ(requests[2 * i + 1].body, "query=group");
    }
    std::lock_guard lock(mutex);
    size_t total = 0;
    for (size_t n : polled) {
        EXPECT_LE(n, 3u);
        total += n;
    }
    EXPECT_EQ(total, static_cast<size_t>(kCount));
}

TEST_F(Polling, RelocatingUnusableAndStaleRecordsAreNeverPolled) {
    Add("AAAAAAAAAAAA", "0.0.0.0", 5);
    Add("BBBBBBBBBBBB", "127.0.3.21", 5);
    console.table.Lock().Find("BBBBBBBBBBBB")->relocating = true;
    Add("CCCCCCCCCCCC", "127.0.3.22", 3);
    Add("DDDDDDDDDDDD", "127.0.3.23", 4);
    Start();
    ASSERT_TRUE(WaitPasses(3));
    poller->Stop();
    auto requests = peer->Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].ip, "127.0.3.23");
}

TEST_F(Polling, FailedInfoIsStillFollowedByGroupAndLeavesStatusAlone) {
    peer = std::make_shared<ScriptedPeer>([](const std::string& ip, const std::string& body) {
        (void)ip;
        return body == "query=group" ? GroupReply("Hall", "Left") : std::string();
    });
    Add("AAAAAAAAAAAA", "127.0.3.20");
    console.table.Lock().Find("AAAAAAAAAAAA")->power = "OFF";
    Start();
    // Never stamped, so tried again on every pass.
    ASSERT_TRUE(WaitUntil([&] { return peer->Count() >= 6; }));
    poller->Stop();
    auto requests = peer->Requests();
    for (size_t i = 0; i + 1 < requests.size(); i += 2) {
        EXPECT_EQ(requests[i].body, "query=info");
        EXPECT_EQ(requests[i + 1].body, "query=group");
    }
    Info info = Record("AAAAAAAAAAAA");
    EXPECT_EQ(info.power, "OFF");
    EXPECT_EQ(info.pollTick, 0u);
    EXPECT_EQ(info.groupName, "Hall");
    EXPECT_EQ(info.projectorName, "Left");
}

TEST_F(Polling, ReplyWithoutOkEmptiesStatusButStampsAndForeignGroupReplyChangesNothing) {
    peer = std::make_shared<ScriptedPeer>([](const std::string&, const std::string& body) {
        return std::string(body == "query=info" ? "<result>timeout</result>" : "<html>busy");
    });
    Add("AAAAAAAAAAAA", "127.0.3.20");
    {
        auto table = console.table.Lock();
        Info* info = table.Find("AAAAAAAAAAAA");
        info->power = "ON";
        info->source = "HDMI";
        info->groupName = "Lab";
    }
    Start();
    ASSERT_TRUE(WaitUntil([&] { return peer->Count() >= 2; }));
    poller->Stop();
    Info info = Record("AAAAAAAAAAAA");
    EXPECT_EQ(info.power, "");
    EXPECT_EQ(info.source, "");
    EXPECT_EQ(info.pollTick, 50000u);
    EXPECT_EQ(info.groupName, "Lab");
}

TEST_F(Polling, DiscoveryUpdatesDuringARequestAreNotLost) {
    peer = std::make_shared<ScriptedPeer>([this](const std::string& ip, const std::string& body) {
        // Discovery moves the projector while its reply is on the way.
        auto table = console.table.Lock();
        Info* info = table.Find("AAAAAAAAAAAA");
        info->ip = body == "query=info" ? "127.0.3.40" : "127.0.3.41";
        info->freshness = body == "query=info" ? 4 : 5;
        return Reply(ip, body);
    });
    Add("AAAAAAAAAAAA", "127.0.3.20");
    Start();
    ASSERT_TRUE(WaitUntil([&] { return peer->Count() >= 2; }));
    // The group reply is stored after its request is counted; a stop would drop it.
    ASSERT_TRUE(WaitUntil([&] { return Record("AAAAAAAAAAAA").groupName == "Lab"; }));
    poller->Stop();
    Info info = Record("AAAAAAAAAAAA");
    EXPECT_EQ(info.ip, "127.0.3.41");
    EXPECT_EQ(info.freshness, 5u);
    EXPECT_EQ(info.power, "ON");
    EXPECT_EQ(info.groupName, "Lab");
}

TEST_F(Polling, AutoSearchOffStopsWithinOnePassAndEachRefreshGivesExactlyOnePass) {
    peer = std::make_shared<ScriptedPeer>([](const std::string&, const std::string&) {
        return std::string();  // never stamped: polled on every pass it gets
    });
    Add("AAAAAAAAAAAA", "127.0.3.20");
    Start();
    ASSERT_TRUE(WaitUntil([&] { return peer->Count() >= 4; }));
    console.autoSearchEnabled = false;
    const uint64_t passesWhenOff = poller->Passes();
    std::this_thread::sleep_for(100ms);
    EXPECT_LE(poller->Passes(), passesWhenOff + 1);
    // A pass is counted when it begins; every pass asks twice. Let the last one finish.
    ASSERT_TRUE(WaitUntil([&] { return peer->Count() == 2 * poller->Passes(); }));
    const size_t settled = peer->Count();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(peer->Count(), settled);

    for (int round = 1; round <= 2; ++round) {
        const uint64_t before = poller->Passes();
        const size_t requestsBefore = peer->Count();
        console.refreshNow = true;
        ASSERT_TRUE(WaitUntil([&] { return poller->Passes() == before + 1; }));
        EXPECT_FALSE(console.refreshNow.load());
        // The pass is counted before it asks: wait for its two requests, then for nothing more.
        ASSERT_TRUE(WaitUntil([&] { return peer->Count() >= requestsBefore + 2; }));
        std::this_thread::sleep_for(100ms);
        EXPECT_EQ(poller->Passes(), before + 1) << "round " << round;
        EXPECT_EQ(peer->Count(), requestsBefore + 2) << "round " << round;
    }
}

TEST_F(Polling, PausedPollerSendsAndStoresNothingUntilResumed) {
    std::atomic<bool> pauseNow{false};
    StatusPoller* self = nullptr;
    peer = std::make_shared<ScriptedPeer>([&](const std::string& ip, const std::string& body) {
        // A dialog opens while the info request is on the way.
        if (pauseNow.exchange(false))
            self->Pause();
        return Reply(ip, body);
    });
    Add("AAAAAAAAAAAA", "127.0.3.20");
    poller = std::make_unique<StatusPoller>(console, options, peer);
    self = poller.get();
    pauseNow = true;
    poller->StartPolling();
    ASSERT_TRUE(WaitUntil([&] { return peer->Count() == 1; }));
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(poller->Paused());
    EXPECT_EQ(peer->Count(), 1u);
    EXPECT_EQ(Record("AAAAAAAAAAAA").pollTick, 0u);  // the reply that came while paused is dropped

    // Still due: asked again from the start once resumed.
    poller->Resume();
    ASSERT_TRUE(WaitUntil([&] { return peer->Count() >= 3; }));
    const auto requests = peer->Requests();
    EXPECT_EQ(requests[1].body, "query=info");
    EXPECT_EQ(requests[2].body, "query=group");
    EXPECT_EQ(Record("AAAAAAAAAAAA").power, "ON");

    poller->Pause();
    const size_t whenPaused = peer->Count();
    clock.Advance(20000);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(peer->Count(), whenPaused);
    poller->Stop();  // a paused poller still stops
    EXPECT_FALSE(poller->Running());
}

TEST_F(Polling, StopCancelsAHungRequestPromptly) {
    Add("AAAAAAAAAAAA", "127.0.3.20");
    peer->Hang("127.0.3.20");
    Start();
    ASSERT_TRUE(WaitUntil([&] { return peer->Count() == 1; }));
    const auto started = std::chrono::steady_clock::now();
    poller->Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);  // loose: only catches a hang
    EXPECT_EQ(peer->Count(), 1u);                               // no group request after stop
}

TEST_F(Polling, StopDuringIdleSleepIsPrompt) {
    options.idleSleep = 1h;
    console.autoSearchEnabled = false;
    Start();
    std::this_thread::sleep_for(20ms);
    const auto started = std::chrono::steady_clock::now();
    poller->Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
}

TEST_F(Polling, HungProjectorDelaysNobodyAndGetsItsGroupRequestAfterItsTimeLimit) {
    Add("AAAAAAAAAAAA", "127.0.3.20");
    Add("BBBBBBBBBBBB", "127.0.3.21");
    Add("CCCCCCCCCCCC", "127.0.3.22");
    peer->Hang("127.0.3.20", 150ms);
    Start();
    ASSERT_TRUE(WaitUntil([&] { return peer->CountFor("127.0.3.20") == 2; }));
    poller->Stop();
    auto requests = peer->Requests();
    ASSERT_GE(requests.size(), 6u);
    // The others are asked, in table order, while the first still waits for its reply.
    const char* expected[][2] = {{"127.0.3.20", "query=info"},  {"127.0.3.21", "query=info"},
                                 {"127.0.3.21", "query=group"}, {"127.0.3.22", "query=info"},
                                 {"127.0.3.22", "query=group"}, {"127.0.3.20", "query=group"}};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(requests[i].ip, expected[i][0]) << i;
        EXPECT_EQ(requests[i].body, expected[i][1]) << i;
    }
    EXPECT_EQ(Record("CCCCCCCCCCCC").power, "ON");
    EXPECT_EQ(Record("AAAAAAAAAAAA").pollTick, 0u);
}

TEST_F(Polling, OthersArePolledWhileOneHangsAndEachKeepsInfoThenGroup) {
    for (int i = 0; i < 12; ++i) {
        Add(std::string(12, static_cast<char>('A' + i)), "127.0.3." + std::to_string(30 + i));
    }
    peer->Hang("127.0.3.30");
    Start();
    ASSERT_TRUE(WaitUntil([&] {
        for (int i = 1; i < 12; ++i) {
            if (peer->CountFor("127.0.3." + std::to_string(30 + i)) < 2)
                return false;
        }
        return true;
    }));
    EXPECT_EQ(peer->CountFor("127.0.3.30"), 1u);  // still waiting for its info reply
    poller->Stop();
    auto requests = peer->Requests();
    for (int i = 1; i < 12; ++i) {
        const std::string ip = "127.0.3." + std::to_string(30 + i);
        std::vector<std::string> bodies;
        for (const auto& r : requests) {
            if (r.ip == ip)
                bodies.push_back(r.body);
        }
        ASSERT_EQ(bodies.size(), 2u) << ip;
        EXPECT_EQ(bodies[0], "query=info");
        EXPECT_EQ(bodies[1], "query=group");
    }
}

}  // namespace
}  // namespace vistrel

namespace vistrel {
namespace {

TEST_F(Polling, ProjectorAskedForAfterACommandIsPolledAtTheNextPassOnlyOnce) {
    Add("AAAAAAAAAAAA", "127.0.3.20");
    Add("BBBBBBBBBBBB", "127.0.3.21");
    Start();
    ASSERT_TRUE(WaitUntil([&] { return peer->Count() == 4; }));
    // Both are fresh; the clock does not move, so only a request can bring a poll.
    console.pollSoon.Add("127.0.3.21");
    ASSERT_TRUE(WaitUntil([&] { return peer->CountFor("127.0.3.21") == 4; }));
    ASSERT_TRUE(WaitPasses(3));
    poller->Stop();
    EXPECT_EQ(peer->CountFor("127.0.3.21"), 4u);
    EXPECT_EQ(peer->CountFor("127.0.3.20"), 2u);
    // A request for an address nobody has stays until somebody does.
    EXPECT_THAT(console.pollSoon.Take(), ::testing::IsEmpty());
}

TEST_F(Polling, WithoutAThreadPollingDoesNotRunAndSaysSoOnce) {
    std::vector<std::string> reports;
    std::mutex reportsMutex;
    ThreadFailureReporter previous = SetThreadFailureReporter([&](const std::string& message) {
        std::lock_guard lock(reportsMutex);
        reports.push_back(message);
    });
    options.threadStarter = [](std::function<void()>) -> std::thread {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    };
    Add("AAAAAAAAAAAA", "127.0.3.20");
    Start();
    EXPECT_FALSE(poller->Running());
    poller->Stop();
    SetThreadFailureReporter(previous);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].rfind("status polling: ", 0), 0u);
    EXPECT_EQ(peer->Count(), 0u);
}

}  // namespace
}  // namespace vistrel
