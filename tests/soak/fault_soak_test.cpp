// The console core against a misbehaving fleet for a bounded time: projectors that hang,
// answer late, answer empty, garbage or truncated, vanish and return, and move; a rogue
// host answering discovery with malformed and duplicate identities; a web server whose
// replies never end. Discovery, polling, the request ring and batches run as the console
// runs them, the test's thread playing the GUI thread.
//
// Checked throughout: no network request while the projector table's lock is held; the
// lock is never waited for as long as a request may take; every healthy projector's status
// is current within its polling rhythm; every record sent to a healthy projector is carried
// out; relocations complete. At the end: the ring drains, every batch is answered, and
// shutdown stays within its grace. Sanitizer reports fail the run on their own.
//
// Moves go through the ring, where the soak's own flush markers may discard them before they
// are sent; the ring tells the move's owner, and the soak counts the move as dropped and sends
// it again. A move neither answered nor reported dropped is a finding.
//
// The run lasts VISTREL_SOAK_SECONDS (default 60, at most a day); scripts/soak.sh runs it
// for longer than the test command does.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "monitor/discovery.h"
#include "monitor/status_poller.h"
#include "protocol/codec.h"
#include "protocol/request_ring.h"
#include "protocol/setting_catalog.h"
#include "schedule/schedule_runner.h"
#include "schedule/task_timing.h"
#include "sim/fleet.h"
#include "soak/rogue_hosts.h"
#include "store/reg_store.h"
#include "store/reg_text.h"

namespace vistrel {
namespace {

using std::chrono::milliseconds;
using SteadyClock = std::chrono::steady_clock;

constexpr const char* kConsoleAddress = "127.0.11.1";
constexpr const char* kFirstProjector = "127.0.11.2";
constexpr const char* kRogueFirst = "127.0.11.50";
constexpr const char* kRogueSecond = "127.0.11.51";
constexpr const char* kBroadcast = "127.255.255.255";

// Roles in the fleet, by index.
constexpr size_t kHealthy = 8;          // 0..7 answer everything at once
constexpr size_t kLate = 8;             // answers after 700 ms, still within the time limit
constexpr size_t kHang = 9;             // reads requests, never answers
constexpr size_t kEmpty = 10;           // answers with an empty body
constexpr size_t kGarbage = 11;         // random bytes for info, group and control
constexpr size_t kTruncated = 12;       // info and group replies cut short
constexpr size_t kClosing = 13;         // closes the connection without a reply
constexpr size_t kVanishing = 14;       // gone and back every few seconds
constexpr size_t kMoving = 15;          // moves to another address now and then
constexpr size_t kSilentTimeouts = 16;  // every command and set answers the time-out text
constexpr size_t kFleetSize = 17;

// Limits of the soak's console. The polling interval is shortened from 15 s so that a run
// of a minute sees several rounds; everything else is the console's own rhythm.
constexpr int kConnectTimeoutMs = 1000;
constexpr int kTotalTimeoutMs = 2500;
constexpr uint32_t kPollIntervalMs = 4000;
constexpr milliseconds kPollPause{1000};
constexpr milliseconds kRingPause{200};
constexpr milliseconds kGrace{6000};
constexpr milliseconds kDiscoveryCycle{2000};
// A healthy projector's status may be this old: one interval, one pause, one pass held up
// by a hung projector (two requests), and room for a loaded machine.
constexpr uint32_t kRhythmBoundMs = kPollIntervalMs + 1000 + 2 * kTotalTimeoutMs + 7000;  // 17 s
// A lock wait this long means someone held the lock across a request.
constexpr auto kLockWaitBound = milliseconds(kTotalTimeoutMs - 500);

constexpr milliseconds kScheduleCheck{5000};
constexpr size_t kScheduledProjectors = 4;

// The schedules' calendar runs a day per schedule check, so daily tasks fall due at every
// check; ticks are the system's.
class FastCalendar final : public Clock {
  public:
    explicit FastCalendar(int64_t base) : base_(base), start_(SteadyClock::now()) {}
    uint32_t TickMs() const override { return SystemClock::Instance().TickMs(); }
    int64_t Now() const override {
        auto ms = std::chrono::duration_cast<milliseconds>(SteadyClock::now() - start_).count();
        return base_ + ms * 86400 / kScheduleCheck.count();
    }

  private:
    int64_t base_;
    SteadyClock::time_point start_;
};

int SoakSeconds() {
    const char* text = std::getenv("VISTREL_SOAK_SECONDS");
    int seconds = text ? std::atoi(text) : 60;
    return std::clamp(seconds, 20, 86400);
}

// Problems found on any thread; the test fails when there is any.
class Findings {
  public:
    void Add(const std::string& problem) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (++counts_[problem] == 1)
            order_.push_back(problem);
    }
    std::vector<std::string> Report() const {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<std::string> lines;
        for (const std::string& problem : order_)
            lines.push_back(std::to_string(counts_.at(problem)) + "x " + problem);
        return lines;
    }

  private:
    mutable std::mutex mutex_;
    std::map<std::string, size_t> counts_;
    std::vector<std::string> order_;
};

// Every network request of the poller, the ring and the batches passes through one engine,
// as in the console; this checks each as it is posted.
std::function<void(const std::string&, const std::string&)> CheckingHook(
    Findings& findings, std::atomic<uint64_t>& count) {
    return [&findings, &count](const std::string&, const std::string&) {
        ++count;
        if (ProjectorTable::HeldByThisThread())
            findings.Add("request sent while holding the table lock");
    };
}

// Counts the poller's share of the engine's requests.
class CountingPollTransport final : public PollTransport {
  public:
    CountingPollTransport(std::shared_ptr<HttpEngine> engine, std::atomic<uint64_t>& count)
        : inner_(std::move(engine)), count_(count) {}
    std::string Post(const std::string& ip, const std::string& body,
                     const std::shared_ptr<CancelToken>& cancel) override {
        ++count_;
        return inner_.Post(ip, body, cancel);
    }
    void PostAsync(const std::string& ip, const std::string& body,
                   const std::shared_ptr<CancelToken>& cancel, Done done) override {
        ++count_;
        inner_.PostAsync(ip, body, cancel, std::move(done));
    }

  private:
    HttpPollTransport inner_;
    std::atomic<uint64_t>& count_;
};

// An owner window: notifications are queued and read on the GUI thread, as a window does.
class QueueSink final : public ReplySink {
  public:
    void Post(uint32_t message, uintptr_t wparam, intptr_t) override {
        std::lock_guard<std::mutex> lock(mutex_);
        posts_.push_back({message, wparam});
    }
    std::vector<std::pair<uint32_t, uintptr_t>> Take() {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<std::pair<uint32_t, uintptr_t>> taken(posts_.begin(), posts_.end());
        posts_.clear();
        return taken;
    }

  private:
    std::mutex mutex_;
    std::deque<std::pair<uint32_t, uintptr_t>> posts_;
};

// The owner of the moves: a window of its own, as the network page is, so that another
// owner's flush marker tells it when it discards a move.
class MoveSink final : public ReplySink {
  public:
    void Post(uint32_t message, uintptr_t wparam, intptr_t lparam) override {
        queue.Post(message, wparam, lparam);
    }
    void Dropped(const std::string& body) override {
        if (body.rfind("set=network", 0) == 0)
            ++dropped;
    }
    QueueSink queue;
    std::atomic<int> dropped{0};
};

// The projector network page waiting for a moved projector.
class MoveWindow final : public RelocationWindow {
  public:
    void QueryNetwork() override { ++completions; }
    int completions = 0;
};

// Takes the table lock over and over and keeps the longest wait.
class LockProbe {
  public:
    explicit LockProbe(ProjectorTable& table) : table_(table) {
        thread_ = std::thread([this] {
            while (!stop_) {
                auto before = SteadyClock::now();
                { auto guard = table_.Lock(); }
                auto waited = SteadyClock::now() - before;
                auto micros = std::chrono::duration_cast<std::chrono::microseconds>(waited);
                if (micros.count() > longest_.load())
                    longest_ = micros.count();
                ++samples_;
                std::this_thread::sleep_for(milliseconds(2));
            }
        });
    }
    ~LockProbe() { Stop(); }
    void Stop() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    milliseconds Longest() const { return milliseconds(longest_.load() / 1000); }
    uint64_t Samples() const { return samples_.load(); }

  private:
    ProjectorTable& table_;
    std::atomic<bool> stop_{false};
    std::atomic<int64_t> longest_{0};
    std::atomic<uint64_t> samples_{0};
    std::thread thread_;
};

std::string PowerText(int power) {
    return power == sim::kPowerOn ? "ON" : power == sim::kPowerOff ? "OFF" : "standby";
}

// Names an operator may type, sent to healthy projectors in "set=" records.
const std::vector<std::string>& OperatorNames() {
    static const std::vector<std::string> names = {
        "Hall A",
        std::string(45, 'L'),
        std::string(31, 'a') + "\xC3\xA9",
        std::string(29, 'b') + "\xF0\x9F\x93\xBD",
        "back\\slash\\",
        "",
        "  leading",
        "amp&set=alert",
        "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E",
    };
    return names;
}

TEST(FaultSoak, ConsoleCoreSurvivesAMisbehavingFleet) {
    const int seconds = SoakSeconds();
    Findings findings;

    // ---- the fleet ----------------------------------------------------------------------
    sim::FleetOptions fleetOptions = sim::GenerateFleet(kFleetSize, 11, kFirstProjector);
    fleetOptions.discoveryPort = 0;
    fleetOptions.httpPort = 0;
    fleetOptions.broadcastListenAddress = kBroadcast;
    fleetOptions.relocationDelayMs = 300;
    fleetOptions.threads = 2;
    sim::Fleet fleet(std::move(fleetOptions));
    std::string error;
    if (!fleet.Start(&error))
        GTEST_SKIP() << "the simulated fleet cannot start here: " << error;

    auto fault = [&](size_t index, const std::function<void(sim::Faults&)>& set) {
        sim::Faults faults;
        set(faults);
        fleet.SetFaults(index, faults);
    };
    fault(kLate, [](sim::Faults& f) { f.replyDelayMs = 700; });
    fault(kHang, [](sim::Faults& f) { f.hang = true; });
    fault(kEmpty, [](sim::Faults& f) { f.emptyReply = true; });
    fault(kGarbage, [](sim::Faults& f) { f.garbage = {"info", "group", "control"}; });
    fault(kTruncated, [](sim::Faults& f) { f.truncate = {{"info", 20}, {"group", 30}}; });
    fault(kClosing, [](sim::Faults& f) { f.closeWithoutReply = true; });
    fault(kSilentTimeouts, [](sim::Faults& f) { f.commandTimeout = true; });

    std::set<std::string> healthyMacs;
    for (size_t i = 0; i < kHealthy; ++i)
        healthyMacs.insert(fleet.Mac(i));
    healthyMacs.insert(fleet.Mac(kLate));

    // ---- the console core ---------------------------------------------------------------
    NetworkProfile profile;
    profile.bindAddress = kConsoleAddress;
    profile.broadcastAddress = kBroadcast;
    profile.discoveryPort = fleet.DiscoveryPort();
    profile.httpPort = fleet.HttpPort();
    Console console(profile);

    HttpOptions http;
    http.port = fleet.HttpPort();
    http.connectTimeoutMs = kConnectTimeoutMs;
    http.totalTimeoutMs = kTotalTimeoutMs;

    std::atomic<uint64_t> pollRequests{0};

    Discovery discovery(console);
    ASSERT_TRUE(discovery.OpenDiscovery())
        << (discovery.Failure() ? discovery.Failure()->reason : std::string());

    soak::RogueDiscovery rogue(kRogueFirst, kRogueSecond, kConsoleAddress, discovery.LocalPort(),
                               fleet.Mac(kVanishing), 150);
    ASSERT_TRUE(rogue.Start(&error)) << error;
    soak::OversizedWebServer oversized(kRogueSecond, fleet.HttpPort());
    ASSERT_TRUE(oversized.Start(&error)) << error;

    PollerOptions pollerOptions;
    pollerOptions.pause = kPollPause;
    pollerOptions.minIntervalMs = kPollIntervalMs;
    pollerOptions.http = http;
    std::atomic<uint64_t> allRequests{0};
    HttpEngineOptions engineOptions;
    engineOptions.http = http;
    engineOptions.onPost = CheckingHook(findings, allRequests);
    auto engine = std::make_shared<HttpEngine>(engineOptions);
    StatusPoller poller(console, pollerOptions,
                        std::make_shared<CountingPollTransport>(engine, pollRequests));

    RequestRingOptions ringOptions;
    ringOptions.pause = kRingPause;
    ringOptions.shutdownGrace = kGrace;
    ringOptions.engine = engine;
    auto ring = std::make_unique<RequestRing>(console, ringOptions);
    auto owner = std::make_shared<QueueSink>();

    // The store and the schedules: two daily tasks (on, then off) for a few healthy projectors.
    const std::filesystem::path storeFolder =
        std::filesystem::temp_directory_path() /
        ("vistrel-soak-" + std::to_string(static_cast<long long>(::getpid())));
    std::filesystem::remove_all(storeFolder);
    std::filesystem::create_directories(storeFolder);
    const std::filesystem::path storeFile = storeFolder / "registry.reg";
    const int64_t calendarBase = 1767225600;  // 2026-01-01 00:00 UTC
    FastCalendar calendar(calendarBase);
    RegStore store(storeFile, "Vistrel", calendar);
    for (size_t i = 0; i < kScheduledProjectors; ++i) {
        SchedTask on{1, kPeriodDaily, calendarBase - 600, calendarBase - 600, calendarBase - 600,
                     0};
        SchedTask off{1, kPeriodDaily, calendarBase - 300, calendarBase - 300, calendarBase - 300,
                      1};
        ASSERT_NE(store.WriteProjectorTask(fleet.Mac(i), 0, &on), 0);
        ASSERT_NE(store.WriteProjectorTask(fleet.Mac(i), 1, &off), 0);
    }
    uint64_t scheduledCommands = 0;
    ScheduleRunner schedules(store, calendar, SystemLocalTime::Instance(),
                             [&](const std::string& body, const std::string& ip) {
                                 ring->Enqueue(body, owner, ip);
                                 ++scheduledCommands;
                             });
    uint64_t tasksFired = 0, scheduleChecks = 0;

    LockProbe lockProbe(console.table);
    poller.StartPolling();
    ring->StartRequestWorker();

    auto batchOwner = std::make_shared<QueueSink>();
    auto moveWindow = std::make_shared<MoveWindow>();
    auto moveOwner = std::make_shared<MoveSink>();

    // ---- bookkeeping of the run ---------------------------------------------------------
    std::map<std::string, SteadyClock::time_point> stableSince;  // mac -> sim state unchanged
    std::map<std::string, sim::ProjectorState> lastState;
    std::vector<std::shared_ptr<BatchResult>> batches;
    uint64_t enqueued = 0, answered = 0, setsToHealthy = 0, setsCarriedOut = 0;
    uint64_t batchNotices = 0;
    uint64_t statusChecks = 0, stateFlips = 0, vanishToggles = 0, cycles = 0;
    int moves = 0, movesCompleted = 0, movesDropped = 0, movesResent = 0;
    std::string moveFrom;
    std::string moveBody;
    std::string movingTo;
    SteadyClock::time_point moveStarted{};
    bool moveAwaitingReply = false, moveAwaitingAnswer = false;
    bool vanished = false;
    size_t nameIndex = 0, pick = 0;

    const auto start = SteadyClock::now();
    const auto end = start + std::chrono::seconds(seconds);
    const auto warmUp = start + std::chrono::seconds(10);
    auto nextCycle = start + kDiscoveryCycle;
    auto nextSecond = start + milliseconds(1000);
    auto nextEnqueue = start + milliseconds(500);
    auto nextBatch = start + milliseconds(3000);
    auto nextVanish = start + milliseconds(5000);
    auto nextSchedule = start + kScheduleCheck;
    auto nextFlip = start + milliseconds(4000);
    auto nextMove = start + milliseconds(8000);
    bool refreshedAll = false;

    auto healthyAddress = [&](const std::string& ip) {
        auto index = fleet.FindByAddress(ip);
        return index && (*index < kHealthy || *index == kLate);
    };
    auto tableIp = [&](const std::string& mac) {
        auto table = console.table.Lock();
        const Info* record = table.Find(mac);
        return record ? record->ip : std::string();
    };

    while (SteadyClock::now() < end) {
        const auto now = SteadyClock::now();

        // Discovery datagrams, as the socket notifier would deliver them.
        while (discovery.HandleAnswer()) {
        }

        // A move the ring discarded unsent goes out again, as the window would send it.
        if (moveAwaitingReply && moveOwner->dropped > movesDropped) {
            movesDropped = moveOwner->dropped;
            ring->Enqueue(moveBody, moveOwner, moveFrom);
            ++movesResent;
            moveStarted = SteadyClock::now();
        }

        // Replies to the ring's requests, read from their slots.
        auto replies = owner->Take();
        for (auto reply : moveOwner->queue.Take())
            replies.push_back(reply);
        for (auto [message, slot] : replies) {
            if (message != kMsgReply)
                continue;
            ++answered;
            MsgCmd cmd = ring->Slot(static_cast<uint32_t>(slot));
            if (cmd.body.rfind("set=network", 0) == 0 && moveAwaitingReply) {
                moveAwaitingReply = false;
                if (!BeginsWithOk(cmd.reply)) {
                    findings.Add("moving projector refused its network record: " + cmd.reply);
                    continue;
                }
                // The network page: mark the move and ask for a probe.
                {
                    auto table = console.table.Lock();
                    if (Info* record = table.Find(fleet.Mac(kMoving))) {
                        record->relocating = true;
                        record->relocateTick = console.clock.TickMs();
                    }
                }
                console.targetMacs = {fleet.Mac(kMoving)};
                console.targetIps = {cmd.ip};
                discovery.RequestRelocationProbe(moveWindow);
                moveAwaitingAnswer = true;
                continue;
            }
            if (cmd.body.rfind("set=", 0) == 0 && healthyAddress(cmd.ip)) {
                ++setsToHealthy;
                if (BeginsWithOk(cmd.reply))
                    ++setsCarriedOut;
                else
                    findings.Add("a healthy projector refused " + cmd.body.substr(0, 12) +
                                 " (malformed record?): " + cmd.reply);
            }
        }

        if (moveAwaitingAnswer && moveWindow->completions > movesCompleted) {
            movesCompleted = moveWindow->completions;
            moveAwaitingAnswer = false;
            if (console.targetIps.empty() || console.targetIps[0] != movingTo)
                findings.Add("a move completed at the wrong address");
            ring->Enqueue(std::string(kQueryNetworkBody), owner, "");
        }

        if (now >= nextCycle) {
            nextCycle += kDiscoveryCycle;
            discovery.AutoDiscoveryCycle();
            ++cycles;
        }

        if (now >= nextEnqueue) {
            nextEnqueue += milliseconds(400);
            const uint32_t pending = (ring->Head() - ring->Tail()) & kRingMask;
            if (pending < 6) {
                // Mostly healthy projectors, now and then a faulty one or a flush marker.
                const size_t target = pick % 5 == 4
                                          ? kHealthy + 1 + pick % (kFleetSize - kHealthy - 1)
                                          : pick % kHealthy;
                const std::string& name = OperatorNames()[nameIndex++ % OperatorNames().size()];
                std::string body;
                switch (pick % 6) {
                    case 0:
                        body = BuildGroupRecord(name, name);
                        break;
                    case 1:
                        body = BuildCommand(pick % 2 ? "~0000 1" : "~0012 5");
                        break;
                    case 2: {
                        AlertSettings alert{name, name, name, name, name, name, name, 1, 0, 1, 0};
                        body = BuildAlertRecord(alert);
                        break;
                    }
                    case 3:
                        body = BuildUserRecord(1, name, 0, name);
                        break;
                    case 4:
                        body = std::string(kQueryControlBody);
                        break;
                    default:
                        body = pick % 12 == 5
                                   ? std::string(kFlushBody)
                                   : BuildTextSettingBody(Setting("display-message"), name);
                        break;
                }
                ++pick;
                if (target != kMoving || !moveAwaitingReply) {
                    const std::string ip = tableIp(fleet.Mac(target));
                    if (!ip.empty()) {
                        ring->Enqueue(body, owner, ip);
                        ++enqueued;
                    }
                }
            }
        }

        if (now >= nextBatch) {
            nextBatch += milliseconds(7000);
            console.batch.clear();
            {
                auto table = console.table.Lock();
                for (const Info& record : table.Records()) {
                    if (record.freshness >= 3 && record.ip != "0.0.0.0") {
                        MsgCmd entry;
                        entry.ip = record.ip;
                        console.batch.push_back(entry);
                    }
                }
            }
            batches.push_back(ring->SendBatch(BuildCommand("~0000 1"), batchOwner));
            batchNotices += batchOwner->Take().size();
        }

        if (now >= nextSchedule) {
            nextSchedule += kScheduleCheck;
            tasksFired += static_cast<uint64_t>(schedules.RunSchedules(console.table));
            ++scheduleChecks;
        }

        if (now >= nextVanish) {
            nextVanish += milliseconds(5000);
            vanished = !vanished;
            sim::Faults faults = fleet.GetFaults(kVanishing);
            faults.gone = vanished;
            fleet.SetFaults(kVanishing, faults);
            ++vanishToggles;
        }

        if (now >= nextFlip) {
            nextFlip += milliseconds(3000);
            const size_t index = stateFlips % kHealthy;
            fleet.UpdateState(index, [](sim::ProjectorState& state) {
                state.power = state.power == sim::kPowerOn ? sim::kPowerOff : sim::kPowerOn;
                state.lampHours = (state.lampHours + 1) % 10000;
            });
            ++stateFlips;
        }

        if (now >= nextMove && !moveAwaitingReply && !moveAwaitingAnswer) {
            nextMove += milliseconds(15000);
            const std::string from = tableIp(fleet.Mac(kMoving));
            if (!from.empty()) {
                movingTo = "127.0.11." + std::to_string(100 + moves % 20);
                NetworkConfig config;
                config.ip = *PackAddress(movingTo);
                config.mask = *PackAddress("255.255.255.0");
                config.gateway = *PackAddress("127.0.0.1");
                config.dns = *PackAddress("127.0.0.1");
                moveFrom = from;
                moveBody = BuildNetworkRecord(config);
                ring->Enqueue(moveBody, moveOwner, from);
                ++moves;
                moveAwaitingReply = true;
                moveStarted = now;
            }
        }
        if ((moveAwaitingReply || moveAwaitingAnswer) &&
            now - moveStarted > std::chrono::seconds(25)) {
            findings.Add("a move was neither completed nor reported dropped within 25 s");
            moveAwaitingReply = moveAwaitingAnswer = false;
        }

        if (!refreshedAll && now >= start + std::chrono::seconds(seconds / 2)) {
            refreshedAll = true;
            discovery.RefreshAllProjectors();
        }

        if (now >= nextSecond) {
            nextSecond += milliseconds(1000);
            ring->WatchdogTick();

            // Healthy projectors: polled within the rhythm, and showing what they report
            // once that has been stable for a whole rhythm.
            const uint32_t tick = console.clock.TickMs();
            for (const std::string& mac : healthyMacs) {
                auto index = fleet.FindByMac(mac);
                sim::ProjectorState state = fleet.State(*index);
                if (!lastState.count(mac) || !(lastState[mac] == state)) {
                    lastState[mac] = state;
                    stableSince[mac] = now;
                }
                if (now < warmUp)
                    continue;
                Info record;
                bool known;
                {
                    auto table = console.table.Lock();
                    known = table.Lookup(mac, record);
                }
                ++statusChecks;
                if (!known || record.pollTick == 0) {
                    findings.Add("healthy projector " + mac + " never polled");
                    continue;
                }
                if (TickElapsed(tick, record.pollTick) > kRhythmBoundMs)
                    findings.Add("healthy projector " + mac + " not polled within its rhythm");
                if (now - stableSince[mac] > milliseconds(kRhythmBoundMs)) {
                    if (record.power != PowerText(state.power) ||
                        record.groupName != TrimTrailingSpace(state.group) ||
                        record.projectorName != TrimTrailingSpace(state.name)) {
                        findings.Add("healthy projector " + mac + " shows a stale status");
                    }
                }
            }
        }

        std::this_thread::sleep_for(milliseconds(20));
    }

    // ---- the end: the ring drains, batches finish, shutdown keeps its grace -------------
    rogue.Stop();
    const auto drainStart = SteadyClock::now();
    while (ring->Head() != ring->Tail() &&
           SteadyClock::now() - drainStart < std::chrono::seconds(30)) {
        while (discovery.HandleAnswer()) {
        }
        std::this_thread::sleep_for(milliseconds(50));
    }
    const auto drained = SteadyClock::now() - drainStart;
    EXPECT_EQ(ring->Head(), ring->Tail()) << "the request ring did not drain within 30 s";

    size_t batchEntries = 0;
    for (const auto& batch : batches) {
        EXPECT_TRUE(batch->WaitAll(std::chrono::seconds(15))) << "a batch was never fully answered";
        batchEntries += batch->Size();
    }
    batchNotices += batchOwner->Take().size();
    EXPECT_EQ(batchNotices, batchEntries) << "every batch entry tells its owner once";

    // Shutdown with a request in flight to the hung projector.
    ring->Enqueue(std::string(kQueryInfoBody), owner, fleet.Address(kHang));
    std::this_thread::sleep_for(milliseconds(300));
    const auto stopStart = SteadyClock::now();
    poller.Stop();
    const auto pollerStop = SteadyClock::now() - stopStart;
    ring->Shutdown();
    engine->Stop();
    const auto ringStop = SteadyClock::now() - stopStart - pollerStop;
    lockProbe.Stop();
    oversized.Stop();

    EXPECT_LT(pollerStop, kGrace) << "the polling thread outlived its grace";
    EXPECT_LT(ringStop, kGrace + milliseconds(1500)) << "the request ring outlived its grace";
    EXPECT_LT(lockProbe.Longest(), kLockWaitBound)
        << "the table lock was held as long as a request takes";

    // The oversized replies were refused whole: nothing of them reached the table.
    {
        auto table = console.table.Lock();
        const Info* record = table.Find(soak::RogueDiscovery::kOversizedMac);
        ASSERT_NE(record, nullptr) << "the rogue identity was never seen";
        EXPECT_TRUE(record->power.empty()) << "an oversized reply was decoded: " << record->power;
    }
    EXPECT_GT(oversized.Connections(), 0u);
    EXPECT_GT(moves, 0);
    EXPECT_GT(movesCompleted, 0);
    EXPECT_GT(setsCarriedOut, 0u);

    // The schedules fired, moved on, and left a store that reads back whole.
    EXPECT_GT(tasksFired, 0u);
    EXPECT_TRUE(store.LastError().empty()) << store.LastError();
    size_t storedProjectors = 0;
    {
        std::ifstream in(storeFile, std::ios::binary);
        const std::string text{std::istreambuf_iterator<char>(in),
                               std::istreambuf_iterator<char>()};
        RegNode root;
        std::string parseError;
        EXPECT_TRUE(ParseReg(text, root, &parseError)) << parseError;
        const RegNode* projectors = &root;
        for (const char* part :
             {"HKEY_CURRENT_USER", "Software", "Brightwerk", "Vistrel", "Projector"})
            projectors = projectors ? projectors->FindChild(part) : nullptr;
        storedProjectors = projectors ? projectors->subkeys.size() : 0;
        RegStore reader(storeFile, "Vistrel", calendar);
        for (size_t i = 0; i < kScheduledProjectors; ++i) {
            SchedTask task;
            reader.ReadProjectorTask(fleet.Mac(i), 0, &task);
            EXPECT_EQ(task.enabled, 1);
            EXPECT_GT(task.start, calendarBase) << "a daily task was not moved on";
        }
    }
    std::filesystem::remove_all(storeFolder);

    size_t tableSize;
    {
        auto table = console.table.Lock();
        tableSize = table.Size();
    }
    std::printf(
        "soak: %d s; fleet %zu projectors (%zu healthy) + 2 rogue hosts; table %zu records\n"
        "soak: %llu poll passes, %llu poll requests, %llu ring/batch requests, %llu discovery "
        "cycles\n"
        "soak: ring %llu enqueued, %llu answered; %llu sets to healthy projectors, %llu carried "
        "out\n"
        "soak: %zu batches (%zu entries, %llu notices); %d moves requested, %d completed, %d "
        "dropped by the ring and resent; %llu vanish toggles; %llu state flips\n"
        "soak: %llu rogue datagrams; %llu oversized connections; %llu status checks\n"
        "soak: %llu schedule checks fired %llu tasks, %llu commands queued; store holds %zu "
        "projector keys\n"
        "soak: longest table-lock wait %lld ms over %llu samples; ring drained in %lld ms; "
        "poller stopped in %lld ms, ring in %lld ms\n",
        seconds, static_cast<size_t>(kFleetSize), healthyMacs.size(), tableSize,
        static_cast<unsigned long long>(poller.Passes()),
        static_cast<unsigned long long>(pollRequests.load()),
        static_cast<unsigned long long>(allRequests.load() - pollRequests.load()),
        static_cast<unsigned long long>(cycles), static_cast<unsigned long long>(enqueued),
        static_cast<unsigned long long>(answered), static_cast<unsigned long long>(setsToHealthy),
        static_cast<unsigned long long>(setsCarriedOut), batches.size(), batchEntries,
        static_cast<unsigned long long>(batchNotices), moves, movesCompleted, movesResent,
        static_cast<unsigned long long>(vanishToggles), static_cast<unsigned long long>(stateFlips),
        static_cast<unsigned long long>(rogue.Sent()),
        static_cast<unsigned long long>(oversized.Connections()),
        static_cast<unsigned long long>(statusChecks),
        static_cast<unsigned long long>(scheduleChecks),
        static_cast<unsigned long long>(tasksFired),
        static_cast<unsigned long long>(scheduledCommands), storedProjectors,
        static_cast<long long>(lockProbe.Longest().count()),
        static_cast<unsigned long long>(lockProbe.Samples()),
        static_cast<long long>(std::chrono::duration_cast<milliseconds>(drained).count()),
        static_cast<long long>(std::chrono::duration_cast<milliseconds>(pollerStop).count()),
        static_cast<long long>(std::chrono::duration_cast<milliseconds>(ringStop).count()));
    std::printf("%s\n", fleet.Summary().c_str());

    for (const std::string& line : findings.Report())
        ADD_FAILURE() << line;
    fleet.Stop();
}

}  // namespace
}  // namespace vistrel
