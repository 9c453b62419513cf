// The fleet health model fed by real discovery and polling of a simulated fleet on loopback
// (127.0.21.x, ephemeral ports), with a clock the test moves.
#include <gtest/gtest.h>

#include <atomic>

#include "health/fleet_health.h"
#include "monitor/discovery.h"
#include "monitor/monitor_fakes.h"
#include "monitor/status_poller.h"
#include "sim/fleet.h"

namespace vistrel {
namespace {

using namespace std::chrono_literals;
using test::WaitUntil;

// Tick and wall time move together, as they do for real.
class TestClock final : public Clock {
  public:
    uint32_t TickMs() const override { return tick_.load(); }
    int64_t Now() const override { return kEpoch + tick_.load() / 1000; }
    void Advance(std::chrono::seconds s) {
        tick_.fetch_add(static_cast<uint32_t>(s.count() * 1000));
    }
    static constexpr int64_t kEpoch = 1765000000;

  private:
    std::atomic<uint32_t> tick_{100000};
};

FleetCounts Counts(size_t on, size_t standby, size_t off, size_t notAnswering, size_t lampWarning,
                   size_t lampCritical) {
    FleetCounts c;
    c.listed = 6;
    c.on = on;
    c.standby = standby;
    c.off = off;
    c.notAnswering = notAnswering;
    c.lampWarning = lampWarning;
    c.lampCritical = lampCritical;
    return c;
}

constexpr int kLampHours[] = {120, 2999, 3000, 3999, 4000, 4500};
constexpr size_t kFleetSize = std::size(kLampHours);

class FleetHealthTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto options = sim::GenerateFleet(kFleetSize, 11, "127.0.21.20");
        options.discoveryPort = 0;
        options.httpPort = 0;
        for (size_t i = 0; i < kFleetSize; ++i) {
            sim::ProjectorState& state = options.projectors[i].state;
            state.power = i == 0 ? sim::kPowerOff : sim::kPowerOn;
            state.lampHours = kLampHours[i];
            state.firmware = "B20" + std::to_string(i);
        }
        fleet = std::make_unique<sim::Fleet>(std::move(options));
        std::string error;
        ASSERT_TRUE(fleet->Start(&error)) << error;

        NetworkProfile profile;
        profile.bindAddress = "127.0.21.1";
        profile.broadcastAddress = "127.255.255.255";
        profile.discoveryPort = fleet->DiscoveryPort();
        profile.httpPort = fleet->HttpPort();
        console = std::make_unique<Console>(profile, clock);
        health = std::make_shared<FleetHealth>(clock);
        console->presence.Subscribe(health);
        discovery = std::make_unique<Discovery>(*console);
        ASSERT_TRUE(discovery->OpenDiscovery());
        ASSERT_TRUE(WaitUntil([&] {
            Drain();
            return console->table.Lock().Size() == kFleetSize;
        }));
        PollerOptions pollerOptions;
        pollerOptions.pause = 10ms;
        poller = std::make_unique<StatusPoller>(*console, pollerOptions);
        poller->StartPolling();
        ASSERT_TRUE(WaitUntil([&] { return AllAnswered(); }));
    }
    void TearDown() override {
        if (poller)
            poller->Stop();
        if (fleet)
            fleet->Stop();
    }

    void Drain() {
        while (discovery->HandleAnswer()) {
        }
    }
    bool AllAnswered() {
        const auto snapshot = health->Snapshot();
        if (snapshot.size() != kFleetSize)
            return false;
        for (const ProjectorHealth& p : snapshot) {
            if (!p.lastAnswered || !p.lampHours)
                return false;
        }
        return true;
    }
    ProjectorHealth Of(size_t index) { return health->Find(fleet->Mac(index)).value(); }
    // One discovery cycle, waiting until the answering projectors are fresh again.
    void Cycle() {
        discovery->AutoDiscoveryCycle();
        ASSERT_TRUE(WaitUntil([&] {
            Drain();
            Info other;
            console->table.Lock().Lookup(fleet->Mac(0), other);
            return other.freshness == kFreshnessOnAnswer;
        }));
    }

    TestClock clock;
    std::unique_ptr<sim::Fleet> fleet;
    std::unique_ptr<Console> console;
    std::shared_ptr<FleetHealth> health;
    std::unique_ptr<Discovery> discovery;
    std::unique_ptr<StatusPoller> poller;
};

TEST_F(FleetHealthTest, LampHoursPassEachThresholdAndStandbyKeepsTheLastKnownHours) {
    const HealthState expected[] = {HealthState::kOk,       HealthState::kOk,
                                    HealthState::kWarning,  HealthState::kWarning,
                                    HealthState::kCritical, HealthState::kCritical};
    for (size_t i = 0; i < kFleetSize; ++i) {
        const ProjectorHealth p = Of(i);
        EXPECT_EQ(p.state, expected[i]) << i;
        EXPECT_EQ(p.lampHours, static_cast<uint32_t>(kLampHours[i]));
        EXPECT_EQ(p.fwVersion, "B20" + std::to_string(i));
        EXPECT_EQ(p.ip, fleet->Address(i));
        EXPECT_TRUE(p.present);
        EXPECT_FALSE(p.notAnsweringSince);
    }
    EXPECT_EQ(health->Counts(), Counts(5, 0, 1, 0, 2, 2));

    // A standby reply carries no lamp hours: the lamp stays critical.
    fleet->UpdateState(5, [](sim::ProjectorState& s) { s.power = sim::kPowerStandby; });
    clock.Advance(15s);
    ASSERT_TRUE(WaitUntil([&] { return Of(5).power == "standby"; }));
    EXPECT_EQ(Of(5).lampHours, 4500u);
    EXPECT_EQ(Of(5).fwVersion, "B205");
    EXPECT_EQ(Of(5).state, HealthState::kCritical);

    // New thresholds apply at once, to what is already known.
    HealthThresholds lower;
    lower.lampWarningHours = 100;
    lower.lampCriticalHours = 3000;
    health->SetThresholds(lower);
    EXPECT_EQ(Of(0).state, HealthState::kWarning);
    EXPECT_EQ(Of(1).state, HealthState::kWarning);
    EXPECT_EQ(Of(2).state, HealthState::kCritical);
    EXPECT_EQ(health->Counts(), Counts(4, 1, 1, 0, 2, 4));
}

TEST_F(FleetHealthTest, SilentProjectorIsNotAnsweringAfterTheThresholdAndRecoversWhenItAnswers) {
    const int64_t answered = *Of(2).lastAnswered;
    sim::Faults gone;
    gone.gone = true;
    fleet->SetFaults(2, gone);
    clock.Advance(15s);
    ASSERT_TRUE(WaitUntil([&] { return Of(2).notAnsweringSince.has_value(); }));
    const int64_t since = *Of(2).notAnsweringSince;
    EXPECT_EQ(since, answered + 15);
    EXPECT_EQ(Of(2).state, HealthState::kWarning);  // silent, but not for long yet

    // The presence rules drop it; the time it went silent stays the first one.
    Cycle();
    Cycle();
    Cycle();
    EXPECT_FALSE(Of(2).present);
    EXPECT_EQ(Of(2).notAnsweringSince, since);

    clock.Advance(std::chrono::seconds(120 - (clock.Now() - since) - 1));
    EXPECT_FALSE(Of(2).notAnswering);
    clock.Advance(1s);
    ProjectorHealth silent = Of(2);
    EXPECT_TRUE(silent.notAnswering);
    EXPECT_EQ(silent.state, HealthState::kNotAnswering);
    EXPECT_EQ(silent.lampHours, 3000u);  // last known values stay
    EXPECT_EQ(silent.lastAnswered, answered);
    EXPECT_EQ(health->Counts(), Counts(4, 0, 1, 1, 2, 2));

    // Back on the network: discovery finds it, polling hears from it, all is well again.
    fleet->SetFaults(2, {});
    Cycle();
    ASSERT_TRUE(WaitUntil([&] {
        Drain();
        return !Of(2).notAnsweringSince;
    }));
    EXPECT_TRUE(Of(2).present);
    EXPECT_EQ(Of(2).state, HealthState::kWarning);
    EXPECT_EQ(Of(2).lastAnswered, clock.Now());
    EXPECT_EQ(health->Counts().notAnswering, 0u);
}

TEST_F(FleetHealthTest, RefreshAllDropsNobodyThatAnswersAndATableSnapshotFillsALateModel) {
    discovery->RefreshAllProjectors();
    ASSERT_TRUE(WaitUntil([&] {
        Drain();
        for (const ProjectorHealth& p : health->Snapshot()) {
            if (!p.present || p.notAnsweringSince)
                return false;
        }
        return true;
    }));

    // A model made after polling began learns the fleet from the table, its last answers
    // dated from their ticks.
    clock.Advance(5s);
    FleetHealth late(clock);
    late.Update(console->table);
    const auto fleetHealth = late.Snapshot();
    ASSERT_EQ(fleetHealth.size(), kFleetSize);
    for (const ProjectorHealth& p : fleetHealth) {
        EXPECT_EQ(p.lastAnswered, health->Find(p.mac)->lastAnswered) << p.mac;
        EXPECT_FALSE(p.notAnsweringSince);
    }
    EXPECT_EQ(late.Counts(), health->Counts());
}

}  // namespace
}  // namespace vistrel
