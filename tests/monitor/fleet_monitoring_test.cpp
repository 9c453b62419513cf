// Discovery and polling against the simulated fleet on loopback (127.0.3.x, ephemeral
// ports), over real UDP and HTTP.
#include <gtest/gtest.h>

#include "monitor/discovery.h"
#include "monitor/monitor_fakes.h"
#include "monitor/status_poller.h"
#include "sim/fleet.h"

namespace vistrel {
namespace {

using namespace std::chrono_literals;
using test::ManualClock;
using test::WaitUntil;

constexpr size_t kFleetSize = 12;

// One fault switched on.
sim::Faults Fault(bool sim::Faults::*which) {
    sim::Faults faults;
    faults.*which = true;
    return faults;
}

class FleetMonitoring : public ::testing::Test {
  protected:
    void SetUp() override {
        auto options = sim::GenerateFleet(kFleetSize, 5, "127.0.3.20");
        options.discoveryPort = 0;
        options.httpPort = 0;
        for (size_t i = 0; i < kFleetSize; ++i) {
            sim::ProjectorState& state = options.projectors[i].state;
            state.power = sim::kPowerOn;
            state.lampHours = 123;
            state.source = 5;
            state.firmware = "A123";
            state.displayMode = 4;
            state.group = "Lab";
            state.name = "P" + std::to_string(i);
        }
        fleet = std::make_unique<sim::Fleet>(std::move(options));
        std::string error;
        ASSERT_TRUE(fleet->Start(&error)) << error;

        NetworkProfile profile;
        profile.bindAddress = "127.0.3.1";
        profile.broadcastAddress = "127.255.255.255";
        profile.discoveryPort = fleet->DiscoveryPort();
        profile.httpPort = fleet->HttpPort();
        console = std::make_unique<Console>(profile, clock);
        discovery = std::make_unique<Discovery>(*console);
        pollerOptions.pause = 10ms;
        pollerOptions.idleSleep = 50ms;
    }
    void TearDown() override {
        if (poller)
            poller->Stop();
        if (fleet)
            fleet->Stop();
    }

    size_t Size() { return console->table.Lock().Size(); }
    bool DiscoverAll(size_t expected = kFleetSize) {
        return WaitUntil([&] {
            while (discovery->HandleAnswer()) {
            }
            return Size() >= expected;
        });
    }
    // Info requests the fleet received for projector `index`.
    size_t InfoRequests(size_t index) {
        size_t n = 0;
        for (const sim::LogEntry& e : fleet->Log().Entries()) {
            n += e.kind == "http" && e.projector == index && e.body == "query=info";
        }
        return n;
    }
    // Projectors `first`.. have had a group reply stored (the last step of polling one). The
    // table is in answer order, not fleet order, so no single projector marks the end of a pass.
    bool NamedFrom(size_t first) {
        auto table = console->table.Lock();
        for (size_t i = first; i < kFleetSize; ++i) {
            const Info* info = table.Find(fleet->Mac(i));
            if (info == nullptr || info->projectorName.empty())
                return false;
        }
        return true;
    }
    void StartPoller() {
        poller = std::make_unique<StatusPoller>(*console, pollerOptions);
        poller->StartPolling();
    }

    ManualClock clock{200000};
    std::unique_ptr<sim::Fleet> fleet;
    std::unique_ptr<Console> console;
    std::unique_ptr<Discovery> discovery;
    PollerOptions pollerOptions;
    std::unique_ptr<StatusPoller> poller;
};

TEST_F(FleetMonitoring, OneProbeFindsEveryAnsweringProjectorAtItsAddress) {
    fleet->SetFaults(3, Fault(&sim::Faults::silentDiscovery));
    ASSERT_TRUE(discovery->OpenDiscovery());
    ASSERT_TRUE(DiscoverAll(kFleetSize - 1));
    std::this_thread::sleep_for(100ms);
    while (discovery->HandleAnswer()) {
    }
    auto table = console->table.Lock();
    EXPECT_EQ(table.Size(), kFleetSize - 1);
    for (size_t i = 0; i < kFleetSize; ++i) {
        const Info* info = table.Find(fleet->Mac(i));
        if (i == 3) {
            EXPECT_EQ(info, nullptr);
            continue;
        }
        ASSERT_NE(info, nullptr) << i;
        EXPECT_EQ(info->ip, fleet->Address(i));
        EXPECT_EQ(info->freshness, 5u);
    }
}

TEST_F(FleetMonitoring, PolledStatusMatchesTheProjectorsAndSkipsWhatMustNotBePolled) {
    ASSERT_TRUE(discovery->OpenDiscovery());
    ASSERT_TRUE(DiscoverAll());
    {
        auto table = console->table.Lock();
        table.Find(fleet->Mac(0))->relocating = true;
        table.Find(fleet->Mac(1))->ip = "0.0.0.0";
        table.Find(fleet->Mac(2))->freshness = 3;
    }
    fleet->Log().Clear();
    StartPoller();
    ASSERT_TRUE(WaitUntil([&] { return NamedFrom(3); }));
    poller->Stop();

    for (size_t i = 3; i < kFleetSize; ++i) {
        Info info;
        ASSERT_TRUE(console->table.Lock().Lookup(fleet->Mac(i), info));
        EXPECT_EQ(info.power, "ON") << i;
        EXPECT_EQ(info.lampHour, "0123");
        EXPECT_EQ(info.source, "HDMI");
        EXPECT_EQ(info.fwVersion, "A123");
        EXPECT_EQ(info.displayMode, "sRGB");
        EXPECT_EQ(info.groupName, "Lab");
        EXPECT_EQ(info.projectorName, "P" + std::to_string(i));
        EXPECT_EQ(info.pollTick, 200000u);
    }
    for (const sim::LogEntry& e : fleet->Log().Entries()) {
        EXPECT_GE(e.projector, 3u) << e.body << " reached projector " << e.projector;
    }
}

TEST_F(FleetMonitoring, FailedInfoStillSendsGroupAndNothingIsPolledAgainBeforeItIsDue) {
    ASSERT_TRUE(discovery->OpenDiscovery());
    ASSERT_TRUE(DiscoverAll());
    fleet->SetFaults(4, Fault(&sim::Faults::emptyReply));
    fleet->Log().Clear();
    StartPoller();
    ASSERT_TRUE(WaitUntil([&] { return InfoRequests(4) >= 3; }));  // retried every pass
    for (size_t i = 0; i < kFleetSize; ++i) {
        if (i == 4)
            continue;
        EXPECT_EQ(InfoRequests(i), 1u) << i;  // stamped: not due for 15 s
    }
    std::vector<std::string> bodies;
    for (const sim::LogEntry& e : fleet->Log().Entries()) {
        if (e.projector == 4)
            bodies.push_back(e.body);
    }
    ASSERT_GE(bodies.size(), 4u);
    EXPECT_EQ(bodies[0], "query=info");
    EXPECT_EQ(bodies[1], "query=group");
    EXPECT_EQ(bodies[2], "query=info");

    clock.Advance(15000);
    ASSERT_TRUE(WaitUntil([&] { return InfoRequests(0) == 2; }));
}

TEST_F(FleetMonitoring, PresenceDecaysWithSilentCyclesEndToEnd) {
    ASSERT_TRUE(discovery->OpenDiscovery());
    ASSERT_TRUE(DiscoverAll());
    fleet->SetFaults(6, Fault(&sim::Faults::silentDiscovery));
    StartPoller();
    ASSERT_TRUE(WaitUntil([&] { return NamedFrom(0); }));

    auto cycle = [&] {
        discovery->AutoDiscoveryCycle();
        ASSERT_TRUE(WaitUntil([&] {
            while (discovery->HandleAnswer()) {
            }
            Info other;
            console->table.Lock().Lookup(fleet->Mac(0), other);
            return other.freshness == 5;
        }));
    };
    cycle();  // projector 6: freshness 4, still polled
    clock.Advance(15000);
    ASSERT_TRUE(WaitUntil([&] { return InfoRequests(6) == 2; }));
    cycle();  // 3: no longer polled
    // A pass whose snapshot was taken before the cycle would still hold it at 4: let any
    // such pass end before projector 6 falls due again.
    const uint64_t passAfterCycle = poller->Passes();
    ASSERT_TRUE(WaitUntil([&] { return poller->Passes() >= passAfterCycle + 2; }));
    clock.Advance(15000);
    ASSERT_TRUE(WaitUntil([&] { return InfoRequests(0) == 3; }));
    const uint64_t pass = poller->Passes();
    ASSERT_TRUE(WaitUntil([&] { return poller->Passes() >= pass + 2; }));
    EXPECT_EQ(InfoRequests(6), 2u);
    Info silent;
    ASSERT_TRUE(console->table.Lock().Lookup(fleet->Mac(6), silent));
    EXPECT_EQ(silent.freshness, 3u);
}

TEST_F(FleetMonitoring, HungProjectorCostsTheOthersNoMoreThanItsTimeLimit) {
    ASSERT_TRUE(discovery->OpenDiscovery());
    ASSERT_TRUE(DiscoverAll());
    fleet->SetFaults(0, Fault(&sim::Faults::hang));
    pollerOptions.http.totalTimeoutMs = 300;
    std::vector<PollPassStats> passes;
    std::mutex passesMutex;
    poller = std::make_unique<StatusPoller>(*console, pollerOptions);
    // Later passes start while the first one still waits for the hung projector; only the
    // first asks everybody.
    poller->SetPassObserver([&](const PollPassStats& stats) {
        std::lock_guard lock(passesMutex);
        if (stats.pass == 1)
            passes.push_back(stats);
    });
    poller->StartPolling();
    ASSERT_TRUE(WaitUntil([&] {
        std::lock_guard lock(passesMutex);
        return !passes.empty();
    }));
    poller->Stop();
    std::lock_guard lock(passesMutex);
    EXPECT_EQ(passes[0].polled, kFleetSize);
    EXPECT_EQ(passes[0].infoStored, kFleetSize - 1);
    // Two requests wait out 300 ms each; a loose bound that only catches a pass held hostage.
    EXPECT_LT(passes[0].elapsed, 5s);
    for (size_t i = 1; i < kFleetSize; ++i)
        EXPECT_EQ(InfoRequests(i), 1u) << i;
}

TEST_F(FleetMonitoring, StopIsPromptWhileAProjectorHangsWithTheProductTimeLimit) {
    ASSERT_TRUE(discovery->OpenDiscovery());
    ASSERT_TRUE(DiscoverAll());
    for (size_t i = 0; i < kFleetSize; ++i)
        fleet->SetFaults(i, Fault(&sim::Faults::hang));
    StartPoller();
    ASSERT_TRUE(fleet->Log().WaitFor(
        [](const std::vector<sim::LogEntry>& entries) {
            size_t http = 0;
            for (const auto& e : entries)
                http += e.kind == "http";
            return http >= 4;
        },
        5s));
    const auto started = std::chrono::steady_clock::now();
    poller->Stop();
    // The product limit is 8 s per request; stopping must not wait for it.
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
}

}  // namespace
}  // namespace vistrel
