#include "monitor/discovery.h"

#include <gtest/gtest.h>

#include "monitor/monitor_fakes.h"

namespace vistrel {
namespace {

using test::CountingWindow;
using test::LoopbackProfile;
using test::ManualClock;

const std::string kMac = "00AABBCCDDEE";
const std::string kAnswer = "Hello 13.#-" + kMac;

class DiscoveryAnswers : public ::testing::Test {
  protected:
    Info Record(const std::string& mac = kMac) {
        Info out;
        auto table = console.table.Lock();
        EXPECT_TRUE(table.Lookup(mac, out)) << mac;
        return out;
    }
    size_t Size() { return console.table.Lock().Size(); }

    ManualClock clock;
    Console console{LoopbackProfile(), clock};
    Discovery discovery{console};
};

TEST_F(DiscoveryAnswers, OwnProbeAndForeignTextsChangeNothing) {
    discovery.ProcessAnswer("Hello 250#", "127.0.3.1");
    discovery.ProcessAnswer(std::string("Hello 250#\0"
                                        "00AABBCCDDEE",
                                        22),
                            "127.0.3.1");
    discovery.ProcessAnswer("", "127.0.3.9");
    discovery.ProcessAnswer("Hello 13.", "127.0.3.9");
    discovery.ProcessAnswer("hello 13.#-" + kMac, "127.0.3.9");
    discovery.ProcessAnswer(" Hello 13.#-" + kMac, "127.0.3.9");
    discovery.ProcessAnswer("Hello 12.#-" + kMac, "127.0.3.9");
    // The prefix with nothing after the skipped character carries no identity.
    discovery.ProcessAnswer("Hello 13.#", "127.0.3.9");
    discovery.ProcessAnswer("Hello 13.#-", "127.0.3.9");
    EXPECT_EQ(Size(), 0u);
}

TEST_F(DiscoveryAnswers, AnswerCreatesRecordFromSenderWithFreshnessFive) {
    discovery.ProcessAnswer(kAnswer, "192.168.0.20");
    ASSERT_EQ(Size(), 1u);
    Info info = Record();
    EXPECT_EQ(info.mac, kMac);
    EXPECT_EQ(info.ip, "192.168.0.20");
    EXPECT_EQ(info.freshness, 5u);
    EXPECT_FALSE(info.relocating);
    EXPECT_EQ(info.pollTick, 0u);
    EXPECT_TRUE(info.power.empty());
    EXPECT_TRUE(info.groupName.empty());
}

TEST_F(DiscoveryAnswers, IdentityIsTwelveCharactersFromOffsetElevenOrWhatIsThere) {
    discovery.ProcessAnswer("Hello 13.#X" + kMac + "trailing bytes", "127.0.3.10");
    discovery.ProcessAnswer("Hello 13.#XSHORT", "127.0.3.11");
    // Text ends at a NUL byte, as the datagram is read as text.
    discovery.ProcessAnswer(std::string("Hello 13.#XABC\0DEFGHIJKL", 24), "127.0.3.12");
    auto table = console.table.Lock();
    ASSERT_EQ(table.Size(), 3u);
    EXPECT_EQ(table.Records()[0].mac, kMac);
    EXPECT_EQ(table.Records()[1].mac, "SHORT");
    EXPECT_EQ(table.Records()[2].mac, "ABC");
}

TEST_F(DiscoveryAnswers, SecondAnswerMovesAddressAndKeepsTheRest) {
    discovery.ProcessAnswer(kAnswer, "192.168.0.20");
    {
        auto table = console.table.Lock();
        Info* info = table.Find(kMac);
        info->power = "ON";
        info->groupName = "Lab";
        info->pollTick = 1234;
        info->freshness = 2;
    }
    discovery.ProcessAnswer(kAnswer, "192.168.0.21");
    ASSERT_EQ(Size(), 1u);
    Info info = Record();
    EXPECT_EQ(info.ip, "192.168.0.21");
    EXPECT_EQ(info.freshness, 5u);
    EXPECT_EQ(info.power, "ON");
    EXPECT_EQ(info.groupName, "Lab");
    EXPECT_EQ(info.pollTick, 1234u);
}

TEST_F(DiscoveryAnswers, AnswersKeepFirstSeenOrder) {
    for (const char* mac : {"B00000000000", "A00000000000", "C00000000000"}) {
        discovery.ProcessAnswer(std::string("Hello 13.#-") + mac, "127.0.3.20");
    }
    discovery.ProcessAnswer("Hello 13.#-A00000000000", "127.0.3.21");
    auto table = console.table.Lock();
    ASSERT_EQ(table.Size(), 3u);
    EXPECT_EQ(table.Records()[0].mac, "B00000000000");
    EXPECT_EQ(table.Records()[1].mac, "A00000000000");
    EXPECT_EQ(table.Records()[2].mac, "C00000000000");
}

TEST_F(DiscoveryAnswers, AutomaticCyclesAgeByOneDownToZeroOnlyWhileAutoSearchIsOn) {
    discovery.ProcessAnswer(kAnswer, "127.0.3.20");
    for (int i = 0; i < 3; ++i)
        discovery.AutoDiscoveryCycle();
    EXPECT_EQ(Record().freshness, 2u);

    console.autoSearchEnabled = false;
    discovery.AutoDiscoveryCycle();
    EXPECT_EQ(Record().freshness, 2u);

    console.autoSearchEnabled = true;
    for (int i = 0; i < 4; ++i)
        discovery.AutoDiscoveryCycle();
    EXPECT_EQ(Record().freshness, 0u);  // never wraps below zero

    discovery.ProcessAnswer(kAnswer, "127.0.3.20");
    EXPECT_EQ(Record().freshness, 5u);
}

TEST_F(DiscoveryAnswers, RefreshAllZeroesEveryRecordAndAsksForAPass) {
    discovery.ProcessAnswer(kAnswer, "127.0.3.20");
    discovery.ProcessAnswer("Hello 13.#-111111111111", "127.0.3.21");
    console.autoSearchEnabled = false;
    size_t seen = 0;
    bool allZero = true;
    discovery.RefreshAllProjectors([&](ProjectorTable::Guard& table) {
        seen = table.Size();
        for (const Info& info : table.Records())
            allZero = allZero && info.freshness == 0;
    });
    EXPECT_EQ(seen, 2u);
    EXPECT_TRUE(allZero);
    EXPECT_TRUE(console.refreshNow.load());
    EXPECT_EQ(Record().freshness, 0u);
}

class Relocation : public DiscoveryAnswers {
  protected:
    void SetUp() override {
        discovery.ProcessAnswer(kAnswer, "10.0.0.5");
        {
            auto table = console.table.Lock();
            Info* info = table.Find(kMac);
            info->relocating = true;
            info->relocateTick = clock.TickMs();
        }
        console.targetMacs = {kMac};
        console.targetIps = {"10.0.0.5"};
        window = std::make_shared<CountingWindow>();
        discovery.RequestRelocationProbe(window);
    }
    std::shared_ptr<CountingWindow> window;
};

TEST_F(Relocation, AnswerWithinSettleTimeDoesNotCompleteTheNextOneDoes) {
    clock.Advance(800);
    discovery.ProcessAnswer(kAnswer, "10.0.0.77");
    EXPECT_TRUE(Record().relocating);
    EXPECT_EQ(Record().ip, "10.0.0.77");  // address and freshness still follow the answer
    EXPECT_EQ(console.targetIps[0], "10.0.0.5");
    EXPECT_EQ(window->queries, 0);
    EXPECT_TRUE(discovery.RelocationPending());

    clock.Advance(1);
    discovery.ProcessAnswer(kAnswer, "10.0.0.78");
    EXPECT_FALSE(Record().relocating);
    EXPECT_EQ(console.targetIps[0], "10.0.0.78");
    EXPECT_EQ(window->queries, 1);
    EXPECT_FALSE(discovery.RelocationPending());

    // Completed once: later answers only refresh.
    discovery.ProcessAnswer(kAnswer, "10.0.0.79");
    EXPECT_EQ(window->queries, 1);
    EXPECT_EQ(console.targetIps[0], "10.0.0.78");
}

TEST_F(Relocation, AnswerFromUnusableAddressNeverCompletes) {
    clock.Advance(5000);
    discovery.ProcessAnswer(kAnswer, "0.0.0.0");
    Info info = Record();
    EXPECT_TRUE(info.relocating);
    EXPECT_EQ(info.ip, "0.0.0.0");
    EXPECT_EQ(info.freshness, 5u);
    EXPECT_EQ(window->queries, 0);
    EXPECT_EQ(console.targetIps[0], "10.0.0.5");
}

TEST_F(Relocation, EachRemainingConditionIsRequired) {
    clock.Advance(2000);
    // Another projector answering does not finish this one's relocation.
    discovery.ProcessAnswer("Hello 13.#-FFFFFFFFFFFF", "10.0.0.80");
    EXPECT_EQ(window->queries, 0);

    console.targetMacs = {"FFFFFFFFFFFF"};
    discovery.ProcessAnswer(kAnswer, "10.0.0.81");
    EXPECT_TRUE(Record().relocating);
    console.targetMacs = {kMac};

    console.targetIps.clear();
    discovery.ProcessAnswer(kAnswer, "10.0.0.82");
    EXPECT_TRUE(Record().relocating);
    console.targetIps = {"10.0.0.5"};

    window.reset();  // the dialog has gone
    discovery.ProcessAnswer(kAnswer, "10.0.0.83");
    EXPECT_TRUE(Record().relocating);
    EXPECT_EQ(console.targetIps[0], "10.0.0.5");

    auto replacement = std::make_shared<CountingWindow>();
    discovery.RequestRelocationProbe(replacement);
    discovery.ProcessAnswer(kAnswer, "10.0.0.84");
    EXPECT_FALSE(Record().relocating);
    EXPECT_EQ(replacement->queries, 1);
}

TEST_F(Relocation, NotRelocatingRecordLeavesTheWindowWaiting) {
    {
        auto table = console.table.Lock();
        table.Find(kMac)->relocating = false;
    }
    clock.Advance(2000);
    discovery.ProcessAnswer(kAnswer, "10.0.0.90");
    EXPECT_EQ(window->queries, 0);
    EXPECT_TRUE(discovery.RelocationPending());
}

TEST_F(Relocation, SettleTimeIsMeasuredAcrossTickWrap) {
    {
        auto table = console.table.Lock();
        table.Find(kMac)->relocateTick = 0xFFFFFF00u;
    }
    clock.Set(0x00000300u);  // 0x400 = 1024 ms later, after the counter wrapped
    discovery.ProcessAnswer(kAnswer, "10.0.0.91");
    EXPECT_FALSE(Record().relocating);
    EXPECT_EQ(window->queries, 1);
}

TEST_F(Relocation, WindowMayReadTheTableWhileItRequeries) {
    std::string seenIp;
    auto reader = std::make_shared<CountingWindow>([&] {
        Info info;
        auto table = console.table.Lock();  // would deadlock if called under the lock
        table.Lookup(kMac, info);
        seenIp = info.ip;
    });
    discovery.RequestRelocationProbe(reader);
    clock.Advance(900);
    discovery.ProcessAnswer(kAnswer, "10.0.0.92");
    EXPECT_EQ(reader->queries, 1);
    EXPECT_EQ(seenIp, "10.0.0.92");
    EXPECT_EQ(window->queries, 0);  // replaced by the newer request
}

// The follow-up after Submit: probes at one-second steps once the settle time has passed,
// whatever the Auto Search setting, until the projector answers or 30 s pass.
class RelocationFollowUp : public ::testing::Test {
  protected:
    void SetUp() override {
        // A listener where the probes go, so each one can be counted.
        ASSERT_TRUE(listener.Open("127.0.3.2", 0));
        NetworkProfile profile = LoopbackProfile("127.0.3.1", "127.0.3.2", listener.LocalPort());
        console = std::make_unique<Console>(profile, clock);
        discovery = std::make_unique<Discovery>(*console);
        ASSERT_TRUE(discovery->OpenDiscovery());
        EXPECT_EQ(Probes(), 1);  // the first one
        console->autoSearchEnabled = false;
        discovery->ProcessAnswer(kAnswer, "10.0.0.5");
        {
            auto table = console->table.Lock();
            Info* info = table.Find(kMac);
            info->relocating = true;
            info->relocateTick = clock.TickMs();
        }
        console->targetMacs = {kMac};
        console->targetIps = {"10.0.0.5"};
        window = std::make_shared<CountingWindow>();
        discovery->RequestRelocationProbe(window);
        EXPECT_EQ(Probes(), 1);
    }
    // Probes that arrived since the last call (each waited for up to 2 s).
    int Probes(int expected = 1) {
        int seen = 0;
        std::string datagram, sender;
        uint16_t port = 0;
        while (seen < expected && listener.WaitReadable(2000) &&
               listener.Receive(datagram, sender, port) == UdpSocket::ReceiveStatus::kDatagram) {
            if (datagram == kProbeText)
                ++seen;
        }
        // Anything more that is already there counts too.
        while (listener.Receive(datagram, sender, port) == UdpSocket::ReceiveStatus::kDatagram) {
            if (datagram == kProbeText)
                ++seen;
        }
        return seen;
    }
    bool Relocating() {
        auto table = console->table.Lock();
        return table.Find(kMac)->relocating;
    }

    ManualClock clock;
    UdpSocket listener;
    std::unique_ptr<Console> console;
    std::unique_ptr<Discovery> discovery;
    std::shared_ptr<CountingWindow> window;
};

TEST_F(RelocationFollowUp, ProbesAfterTheSettleTimeUntilTheProjectorAnswers) {
    clock.Advance(500);
    EXPECT_TRUE(discovery->FollowRelocation());
    EXPECT_EQ(Probes(0), 0);  // too early: an answer now could not count
    clock.Advance(500);
    EXPECT_TRUE(discovery->FollowRelocation());
    EXPECT_EQ(Probes(), 1);
    EXPECT_TRUE(discovery->FollowRelocation());
    EXPECT_EQ(Probes(0), 0);  // one per second, not one per call
    clock.Advance(1000);
    EXPECT_TRUE(discovery->FollowRelocation());
    EXPECT_EQ(Probes(), 1);

    discovery->ProcessAnswer(kAnswer, "10.0.0.9");
    EXPECT_EQ(window->queries, 1);
    EXPECT_EQ(console->targetIps[0], "10.0.0.9");
    clock.Advance(1000);
    EXPECT_FALSE(discovery->FollowRelocation());
    EXPECT_EQ(Probes(0), 0);
    EXPECT_EQ(window->lost, 0);
}

TEST_F(RelocationFollowUp, AFixedAddressIsWaitedForPastLateAnswersFromTheOldOne) {
    window->expected = "10.0.0.9";
    clock.Advance(1000);
    discovery->ProcessAnswer(kAnswer, "10.0.0.5");  // not moved yet
    EXPECT_EQ(window->queries, 0);
    EXPECT_TRUE(Relocating());
    EXPECT_TRUE(discovery->FollowRelocation());
    discovery->ProcessAnswer(kAnswer, "10.0.0.9");
    EXPECT_EQ(window->queries, 1);
    EXPECT_FALSE(Relocating());
    EXPECT_EQ(console->targetIps[0], "10.0.0.9");
}

TEST_F(RelocationFollowUp, GivesUpAfterThirtySecondsAndReleasesTheProjector) {
    int probes = 0;
    for (int second = 1; second < 30; ++second) {
        clock.Advance(1000);
        ASSERT_TRUE(discovery->FollowRelocation()) << second;
        probes += Probes();
    }
    EXPECT_EQ(probes, 29);
    EXPECT_TRUE(Relocating());
    clock.Advance(1000);
    EXPECT_FALSE(discovery->FollowRelocation());
    EXPECT_EQ(window->lost, 1);
    EXPECT_EQ(window->queries, 0);
    // Left relocating, the projector would never be polled again.
    EXPECT_FALSE(Relocating());
    EXPECT_FALSE(discovery->RelocationPending());
    EXPECT_FALSE(discovery->FollowRelocation());
    EXPECT_EQ(window->lost, 1);
}

TEST_F(RelocationFollowUp, ClosedDialogEndsTheFollowUp) {
    window.reset();
    clock.Advance(1500);
    EXPECT_FALSE(discovery->FollowRelocation());
    EXPECT_FALSE(Relocating());
    EXPECT_EQ(Probes(0), 0);
}

TEST(DiscoveryFailureText, NamesThePortAndTheRemedy) {
    DiscoveryFailure denied = DescribeDiscoveryFailure("bind", EACCES, "0.0.0.0", 250);
    EXPECT_NE(denied.reason.find("UDP port 250"), std::string::npos) << denied.reason;
    EXPECT_NE(denied.reason.find(SocketErrorText(EACCES)), std::string::npos);
    EXPECT_NE(denied.remedy.find("cap_net_bind_service"), std::string::npos) << denied.remedy;

    DiscoveryFailure busy = DescribeDiscoveryFailure("bind", EADDRINUSE, "0.0.0.0", 250);
    EXPECT_NE(busy.remedy.find("Another program"), std::string::npos) << busy.remedy;

    DiscoveryFailure high = DescribeDiscoveryFailure("bind", EACCES, "0.0.0.0", 4250);
    EXPECT_EQ(high.remedy.find("cap_net_bind_service"), std::string::npos);

    DiscoveryFailure bad = DescribeDiscoveryFailure("address", EINVAL, "not-an-ip", 250);
    EXPECT_NE(bad.reason.find("not-an-ip"), std::string::npos);
}

}  // namespace
}  // namespace vistrel
