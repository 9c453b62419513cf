// A mixed fleet on loopback: native projectors found by discovery and polled over HTTP,
// PJLink projectors found by the class-2 search or added by address and polled over PJLink,
// all in one projector table, and one bulk command that reaches both kinds.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "monitor/discovery.h"
#include "monitor/status_poller.h"
#include "pjlink/mixed_bulk.h"
#include "pjlink/pjlink_search.h"
#include "protocol/codec.h"
#include "protocol/http_engine.h"
#include "sim/fleet.h"
#include "sim/pjlink_fleet.h"

namespace vistrel::pjlink {
namespace {

using namespace std::chrono_literals;

class StepClock final : public Clock {
  public:
    uint32_t TickMs() const override { return tick.load(); }
    int64_t Now() const override { return 1700000000; }
    std::atomic<uint32_t> tick{100000};
};

bool WaitUntil(const std::function<bool()>& done) {
    const auto until = std::chrono::steady_clock::now() + 20s;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= until)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

size_t Count(const std::vector<sim::PjlinkLogEntry>& log, const std::string& address,
             const std::string& line) {
    return static_cast<size_t>(std::count_if(log.begin(), log.end(), [&](const auto& e) {
        return e.address == address && e.line == line;
    }));
}

class MixedFleet : public ::testing::Test {
  protected:
    void SetUp() override {
        auto nativeOptions = sim::GenerateFleet(2, 3, "127.0.33.2");
        nativeOptions.discoveryPort = 0;
        nativeOptions.httpPort = 0;
        for (auto& p : nativeOptions.projectors)
            p.state.power = sim::kPowerOn;
        native = std::make_unique<sim::Fleet>(std::move(nativeOptions));
        std::string error;
        ASSERT_TRUE(native->Start(&error)) << error;

        auto options = sim::GeneratePjlinkFleet(3, "127.0.33.10");
        options.port = 0;
        options.searchPort = 0;
        options.transition = 3600s;
        options.projectors[0].commandClass = 1;  // added by address
        options.projectors[0].password.clear();
        options.projectors[1].commandClass = 2;  // found by the search
        options.projectors[1].password.clear();
        options.projectors[2].commandClass = 2;  // found, with a password
        options.projectors[2].password = "panel";
        pj = std::make_unique<sim::PjlinkFleet>(std::move(options));
        ASSERT_TRUE(pj->Start(&error)) << error;

        NetworkProfile profile;
        profile.bindAddress = "127.0.33.1";
        profile.broadcastAddress = "127.255.255.255";
        profile.discoveryPort = native->DiscoveryPort();
        profile.httpPort = native->HttpPort();
        profile.pjlinkPort = pj->Port();
        profile.pjlinkSearchPort = pj->SearchPort();
        console = std::make_unique<Console>(profile, clock);
        MonitorOptions monitorOptions;
        monitorOptions.look = 5ms;
        monitorOptions.password = [this](const std::string& ip) {
            return ip == pj->Address(2) ? password : std::string();
        };
        monitor = std::make_unique<Monitor>(*console, monitorOptions);
        search = std::make_unique<Search>(*console, *monitor);
        discovery = std::make_unique<Discovery>(*console);
        PollerOptions pollerOptions;
        pollerOptions.pause = 10ms;
        poller = std::make_unique<StatusPoller>(*console, pollerOptions);
        poller->SetPassObserver([this](const PollPassStats& stats) {
            nativeRowsSeen = std::max(nativeRowsSeen.load(), stats.snapshot);
        });
    }
    void TearDown() override {
        if (poller)
            poller->Stop();
        if (monitor)
            monitor->Stop();
    }

    // Finds both kinds and waits for every row to carry a polled state.
    void FindAndPoll() {
        ASSERT_TRUE(discovery->OpenDiscovery());
        ASSERT_TRUE(search->Open()) << search->Error();
        ASSERT_TRUE(monitor->Add(pj->Address(0), "Hall"));
        ASSERT_TRUE(search->Broadcast());
        size_t answers = 0;
        // Answers are taken one by one as they come, as the window's notifier does, and the
        // rows appear without waiting for a second discovery cycle.
        ASSERT_TRUE(WaitUntil([&] {
            discovery->HandleAnswersFor(5ms);
            while (search->HandleOne())
                ++answers;
            return answers >= 2 && console->table.Lock().Size() == 5;
        }));
        poller->StartPolling();
        monitor->Start();
        ASSERT_TRUE(WaitUntil([&] {
            auto table = console->table.Lock();
            return std::all_of(table.Records().begin(), table.Records().end(), [](const Info& r) {
                return r.power == kPasswordRefusedText || (!r.power.empty() && !r.source.empty());
            });
        }));
    }

    Info Row(const std::string& key) {
        Info info;
        EXPECT_TRUE(console->table.Lock().Lookup(key, info)) << key;
        return info;
    }

    StepClock clock;
    std::string password = "panel";
    std::unique_ptr<sim::Fleet> native;
    std::unique_ptr<sim::PjlinkFleet> pj;
    std::unique_ptr<Console> console;
    std::unique_ptr<Monitor> monitor;
    std::unique_ptr<Search> search;
    std::unique_ptr<Discovery> discovery;
    std::unique_ptr<StatusPoller> poller;
    std::atomic<size_t> nativeRowsSeen{0};
};

TEST_F(MixedFleet, FoundListedPolledAtTheRhythmAndSwitchedInOneBulkCommand) {
    FindAndPoll();
    const Info added = Row(PjlinkKey(pj->Address(0)));
    EXPECT_TRUE(added.pjlink);
    EXPECT_EQ(added.pjlinkMac, "");  // class 1: no MAC to learn
    EXPECT_EQ(added.groupName, "Hall");
    EXPECT_EQ(added.projectorName, "PJLink 1");
    EXPECT_EQ(added.power, "ON");
    EXPECT_EQ(added.source, "Digital 1");
    EXPECT_EQ(added.lampHour, "400");
    EXPECT_EQ(added.freshness, kFreshnessOnAnswer);
    const Info found = Row(PjlinkKey(pj->Address(1)));
    EXPECT_EQ(found.pjlinkMac, pj->Config(1).mac);
    // Class 2's details come with the poll that follows the one that told the class.
    ASSERT_TRUE(WaitUntil([&] {
        const Info row = Row(PjlinkKey(pj->Address(1)));
        return row.source == "HDMI 1" && row.fwVersion == "2.1";
    }));
    EXPECT_EQ(Row(PjlinkKey(pj->Address(2))).power, "ON");
    EXPECT_EQ(Row(native->Mac(0)).power, "ON");

    // The rhythm: nothing more until 15 seconds have passed; then one poll each, on the
    // connections already open.
    ASSERT_TRUE(WaitUntil([&] { return monitor->Polls() >= 5; }));  // 3, and class 2 twice
    const uint64_t opened = monitor->engine().ConnectionsOpened();
    pj->ClearLog();
    const uint64_t before = monitor->Polls();
    clock.tick += 15000;
    ASSERT_TRUE(WaitUntil([&] { return monitor->Polls() >= before + 3; }));
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(Count(pj->Log(), pj->Address(i), "%1POWR ?"), 1u) << i;
    EXPECT_EQ(monitor->engine().ConnectionsOpened(), opened);

    // One bulk power-off to every row: the PJLink part first, the rest over HTTP.
    pj->ClearLog();
    std::vector<BulkTarget> targets;
    {
        // The guard must outlive the loop: a temporary one would unlock before the first row.
        auto table = console->table.Lock();
        for (const Info& record : table.Records())
            targets.push_back({record.mac, record.ip});
    }
    std::atomic<bool> done{false};
    std::vector<CommandResult> results;
    const auto rest = SendPjlinkPart(*monitor, targets, BulkAction::PowerOff, "",
                                     [&](std::vector<CommandResult> r) {
                                         results = std::move(r);
                                         done = true;
                                     });
    ASSERT_EQ(rest.size(), 2u);
    HttpEngineOptions httpOptions;
    httpOptions.http.port = native->HttpPort();
    HttpEngine http(httpOptions);
    for (const BulkTarget& target : rest) {
        std::string reply;
        EXPECT_TRUE(SendThrough(http, target.ip, vistrel::BuildCommand("~0000 0"), reply, nullptr));
    }
    ASSERT_TRUE(WaitUntil([&] { return done.load(); }));
    ASSERT_EQ(results.size(), 3u);
    for (const CommandResult& r : results)
        EXPECT_TRUE(r.ok) << r.ip << ": " << r.text;
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(Count(pj->Log(), pj->Address(i), "%1POWR 0"), 1u) << i;
    for (size_t i = 0; i < 2; ++i) {
        size_t offs = 0;
        for (const auto& entry : native->Log().Entries())
            offs += entry.address == native->Address(i) &&
                    entry.body == vistrel::BuildCommand("~0000 0");
        EXPECT_EQ(offs, 1u) << i;
    }
    // Cooling down shows on the PJLink rows once they are polled again.
    ASSERT_TRUE(WaitUntil([&] { return Row(PjlinkKey(pj->Address(0))).power == "Cooling down"; }));
    // The HTTP polling never went to a PJLink row.
    EXPECT_EQ(nativeRowsSeen.load(), 2u);

    // Discovery cycles far quicker than the 15-second polls age only the rows that answer
    // them; a PJLink row leaves after three failed polls of its own.
    const std::string key = PjlinkKey(pj->Address(0));
    for (int cycle = 0; cycle < 4; ++cycle)
        discovery->AutoDiscoveryCycle();
    EXPECT_EQ(Row(key).freshness, kFreshnessOnAnswer);
    EXPECT_LT(Row(native->Mac(0)).freshness, kListedFreshness);
    pj->Stop();
    for (uint32_t failed = 1; failed <= 3; ++failed) {
        clock.tick += 15000;
        ASSERT_TRUE(WaitUntil([&] { return Row(key).freshness <= kFreshnessOnAnswer - failed; }))
            << failed;
    }
    EXPECT_LT(Row(key).freshness, kListedFreshness);
}

TEST_F(MixedFleet, SourceSkipsProjectorsWithoutTheInputAndWrongPasswordShowsOnTheRow) {
    password = "wrong";
    FindAndPoll();
    EXPECT_EQ(Row(PjlinkKey(pj->Address(2))).power, kPasswordRefusedText);
    EXPECT_EQ(Row(PjlinkKey(pj->Address(2))).freshness, kFreshnessOnAnswer);

    // VGA-2 is "12": every simulated projector has it; S-Video ("22") none has.
    std::vector<BulkTarget> targets = {{PjlinkKey(pj->Address(0)), pj->Address(0)},
                                       {PjlinkKey(pj->Address(1)), pj->Address(1)},
                                       {PjlinkKey(pj->Address(2)), pj->Address(2)}};
    for (const char* source : {"VGA-2", "S-Video"}) {
        std::atomic<bool> done{false};
        std::vector<CommandResult> results;
        SendPjlinkPart(*monitor, targets, BulkAction::Source, source,
                       [&](std::vector<CommandResult> r) {
                           results = std::move(r);
                           done = true;
                       });
        ASSERT_TRUE(WaitUntil([&] { return done.load(); }));
        ASSERT_EQ(results.size(), 3u);
        std::sort(results.begin(), results.end(),
                  [](const auto& a, const auto& b) { return a.ip < b.ip; });
        if (std::string(source) == "VGA-2") {
            EXPECT_TRUE(results[0].ok);
            EXPECT_TRUE(results[1].ok);
            EXPECT_EQ(results[2].text, kPasswordRefusedText);
        } else {
            // The password-refused one was never polled, so its inputs are not known: the
            // command goes out and is refused.
            EXPECT_EQ(results[0].text, "source S-Video skipped: no such input");
            EXPECT_EQ(results[1].text, "source S-Video skipped: no such input");
        }
    }
    EXPECT_EQ(Count(pj->Log(), pj->Address(0), "%1INPT 12"), 1u);
    EXPECT_EQ(Count(pj->Log(), pj->Address(0), "%1INPT 22"), 0u);
    EXPECT_EQ(Count(pj->Log(), pj->Address(2), "%1INPT 12"), 0u);
    EXPECT_NE(DescribeFailures({{"1.2.3.4", false, "no connection"}}).find("1.2.3.4"),
              std::string::npos);
}

}  // namespace
}  // namespace vistrel::pjlink
