// Prints figures for discovery and polling on a campus-sized simulated fleet on loopback:
// how long one probe takes to fill the table and what one answer costs the thread that
// handles it; how long the first polling round over every projector takes on the HTTP
// engine (a fleet due at once is started in bursts); how regularly projectors are polled in
// steady state (interval over the 15-second minimum); and the same with shares of the fleet
// hung (accepting connections, never answering), plus how long stopping takes while hung
// exchanges are in flight. Lines starting "summary" are for scripts/bench-engine.sh.
//
// Usage: bench_monitor_scale [--count N] [--hung-percent P]... [--steady-seconds S]
//                            [--quick] [--discovery-only] [--polling-only]
// The fleet lives on 127.0.12.2 upward, the console on 127.0.12.1, ports chosen freely.
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "monitor/discovery.h"
#include "monitor/status_poller.h"
#include "sim/fleet.h"

namespace {

using namespace vistrel;
using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

// One fault switched on.
sim::Faults Fault(bool sim::Faults::*which) {
    sim::Faults faults;
    faults.*which = true;
    return faults;
}

struct Settings {
    size_t count = 1000;
    std::vector<int> hungPercents;  // default: 5 and 20
    int steadySeconds = 45;
    bool quick = false;
    bool discoveryOnly = false;
    bool pollingOnly = false;
};

double Ms(SteadyClock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

struct Percentiles {
    double min = 0, median = 0, p99 = 0, max = 0;
    size_t samples = 0;
};

Percentiles Summarise(std::vector<double> values) {
    Percentiles p;
    if (values.empty())
        return p;
    std::sort(values.begin(), values.end());
    p.samples = values.size();
    p.min = values.front();
    p.median = values[values.size() / 2];
    p.p99 = values[std::min(values.size() - 1, values.size() * 99 / 100)];
    p.max = values.back();
    return p;
}

NetworkProfile ProfileFor(const sim::Fleet& fleet) {
    NetworkProfile profile;
    profile.bindAddress = "127.0.12.1";
    profile.broadcastAddress = "127.255.255.255";
    profile.discoveryPort = fleet.DiscoveryPort();
    profile.httpPort = fleet.HttpPort();
    return profile;
}

std::unique_ptr<sim::Fleet> StartFleet(const Settings& settings) {
    auto options = sim::GenerateFleet(settings.count, 11, "127.0.12.2");
    options.discoveryPort = 0;
    options.httpPort = 0;
    auto fleet = std::make_unique<sim::Fleet>(std::move(options));
    std::string error;
    if (!fleet->Start(&error)) {
        std::fprintf(stderr, "fleet: %s\n", error.c_str());
        std::exit(1);
    }
    return fleet;
}

// Handles answers as the GUI thread does: wait for the descriptor, read one, repeat, until
// `expected` answers have been read. Returns the time from `start`.
SteadyClock::duration HandleAnswers(Discovery& discovery, size_t expected,
                                    SteadyClock::time_point start, SteadyClock::duration& handling,
                                    size_t& answers) {
    const auto deadline = start + 10s;
    size_t read = 0;
    while (read < expected && SteadyClock::now() < deadline) {
        pollfd fd{discovery.Descriptor(), POLLIN, 0};
        if (::poll(&fd, 1, 50) <= 0)
            continue;
        const auto before = SteadyClock::now();
        const bool got = discovery.HandleAnswer();
        handling += SteadyClock::now() - before;
        read += got;
    }
    answers += read;
    return SteadyClock::now() - start;
}

void BenchDiscovery(const Settings& settings, sim::Fleet& fleet) {
    std::printf("== Discovery: one probe, %zu projectors (the fleet paces answers at %d per ms)\n",
                settings.count, sim::FleetOptions{}.answersPerMs);
    const int rounds = settings.quick ? 2 : 5;
    std::vector<double> fill;
    std::vector<double> refill;
    SteadyClock::duration createCost{};
    SteadyClock::duration refreshCost{};
    size_t created = 0;
    size_t refreshed = 0;
    for (int round = 0; round < rounds; ++round) {
        Console console(ProfileFor(fleet));
        Discovery discovery(console);
        const auto start = SteadyClock::now();
        if (!discovery.OpenDiscovery()) {  // sends the first probe
            std::printf("   cannot open discovery: %s\n", discovery.Failure()->reason.c_str());
            return;
        }
        fill.push_back(Ms(HandleAnswers(discovery, settings.count, start, createCost, created)));
        const size_t found = console.table.Lock().Size();
        if (found < settings.count)
            std::printf("   round %d: only %zu found\n", round, found);

        // "Refresh all projectors": every answer now refreshes an existing record.
        discovery.RefreshAllProjectors();
        refill.push_back(Ms(
            HandleAnswers(discovery, settings.count, SteadyClock::now(), refreshCost, refreshed)));
    }
    const Percentiles p = Summarise(fill);
    const Percentiles r = Summarise(refill);
    std::printf(
        "   probe to all %zu in an empty table: median %.1f ms, min %.1f, max %.1f (%d rounds)\n",
        settings.count, p.median, p.min, p.max, rounds);
    std::printf("   refresh probe to all %zu answers handled: median %.1f ms\n", settings.count,
                r.median);
    auto per = [](SteadyClock::duration d, size_t n) {
        return n ? Ms(d) * 1000.0 / static_cast<double>(n) : 0.0;
    };
    std::printf(
        "   handler-thread cost per answer (receive + lock + lookup + store): %.2f us creating, "
        "%.2f us refreshing (%zu + %zu answers)\n",
        per(createCost, created), per(refreshCost, refreshed), created, refreshed);

    // The answer logic alone, without the socket.
    Console console(ProfileFor(fleet));
    Discovery discovery(console);
    std::vector<std::string> texts;
    for (size_t i = 0; i < settings.count; ++i)
        texts.push_back("Hello 13.#-" + fleet.Mac(i));
    const int loops = 200;
    const auto started = SteadyClock::now();
    for (int loop = 0; loop < loops; ++loop) {
        for (const std::string& text : texts)
            discovery.ProcessAnswer(text, "127.0.12.9");
    }
    const double perAnswer =
        Ms(SteadyClock::now() - started) * 1000.0 / (loops * static_cast<double>(texts.size()));
    std::printf("   ProcessAnswer alone on a %zu-record table: %.3f us per answer\n",
                settings.count, perAnswer);
}

// Fills a console's table from the fleet so polling can start at once.
void FillTable(Console& console, sim::Fleet& fleet) {
    auto table = console.table.Lock();
    for (size_t i = 0; i < fleet.Size(); ++i) {
        Info info(fleet.Mac(i));
        info.ip = fleet.Address(i);
        table.Store(info);
    }
}

// What the first round did: every projector polled once, in the bursts the poller starts.
struct FirstRound {
    SteadyClock::duration elapsed{};  // from the first snapshot to the last chain's end
    size_t passes = 0;
    size_t polled = 0;
    size_t infoStored = 0;
    double stopMs = 0;
};

// Runs one poller until every projector has been polled once (passes 1..k, each ended).
FirstRound RunFirstRound(sim::Fleet& fleet) {
    Console console(ProfileFor(fleet));
    FillTable(console, fleet);
    StatusPoller poller(console, PollerOptions{});
    std::mutex mutex;
    std::condition_variable done;
    std::map<uint64_t, PollPassStats> ended;
    std::optional<SteadyClock::time_point> start;
    std::optional<FirstRound> round;
    const size_t count = fleet.Size();
    poller.SetPassObserver([&](const PollPassStats& stats) {
        std::lock_guard lock(mutex);
        const auto now = SteadyClock::now();
        const auto began = now - stats.elapsed;
        start = start ? std::min(*start, began) : began;
        ended[stats.pass] = stats;
        if (round)
            return;
        FirstRound r;
        for (uint64_t pass = 1; ended.count(pass) != 0; ++pass) {
            r.passes = pass;
            r.polled += ended[pass].polled;
            r.infoStored += ended[pass].infoStored;
            if (r.polled >= count) {
                r.elapsed = now - *start;
                round = r;
                done.notify_all();
                return;
            }
        }
    });
    poller.StartPolling();
    {
        std::unique_lock lock(mutex);
        done.wait(lock, [&] { return round.has_value(); });
    }
    const auto stopStart = SteadyClock::now();
    poller.Stop();
    std::lock_guard lock(mutex);
    round->stopMs = Ms(SteadyClock::now() - stopStart);
    return *round;
}

void PrintRound(const FirstRound& round, const char* label) {
    std::printf(
        "   first round (every projector polled once): %.1f ms in %zu bursts (%zu polled, %zu "
        "info replies stored); stop took %.1f ms\n",
        Ms(round.elapsed), round.passes, round.polled, round.infoStored, round.stopMs);
    std::printf("summary first_round_%s_ms=%.1f\n", label, Ms(round.elapsed));
}

// Runs a poller on the real clock for `seconds` and reports, from the fleet's request log,
// the time between consecutive info requests of every projector that answers.
void SteadyRhythm(const Settings& settings, sim::Fleet& fleet, const std::vector<bool>& hung,
                  const std::string& label) {
    Console console(ProfileFor(fleet));
    FillTable(console, fleet);
    StatusPoller poller(console, PollerOptions{});
    std::mutex mutex;
    std::vector<double> passMs;
    poller.SetPassObserver([&](const PollPassStats& stats) {
        std::lock_guard lock(mutex);
        if (stats.polled > 0)
            passMs.push_back(Ms(stats.elapsed));
    });
    fleet.Log().Clear();
    poller.StartPolling();
    std::this_thread::sleep_for(std::chrono::seconds(settings.steadySeconds));
    const auto stopStart = SteadyClock::now();
    poller.Stop();
    const double stopMs = Ms(SteadyClock::now() - stopStart);

    std::map<size_t, std::vector<int64_t>> times;
    for (const sim::LogEntry& e : fleet.Log().Entries()) {
        if (e.kind == "http" && e.body == "query=info" && !hung[e.projector]) {
            times[e.projector].push_back(e.timeMs);
        }
    }
    std::vector<double> intervals;
    double sum = 0;
    size_t within = 0;
    for (auto& [index, list] : times) {
        for (size_t i = 1; i < list.size(); ++i) {
            const double gap = static_cast<double>(list[i] - list[i - 1]);
            intervals.push_back(gap / 1000.0);
            sum += gap / 1000.0;
            within += gap >= 14000 && gap <= 16000;
        }
    }
    Percentiles p = Summarise(intervals);
    Percentiles passes;
    {
        std::lock_guard lock(mutex);
        passes = Summarise(passMs);
    }
    const double mean = p.samples ? sum / static_cast<double>(p.samples) : 0.0;
    std::printf(
        "   over %d s: info interval per answering projector: mean %.2f s (period %.3f x 15 s), "
        "min %.2f, median %.2f, p99 %.2f, max %.2f; %.1f%% within 15 s +/- 1 s (%zu intervals, "
        "%zu projectors)\n",
        settings.steadySeconds, mean, mean / 15.0, p.min, p.median, p.p99, p.max,
        p.samples ? 100.0 * static_cast<double>(within) / static_cast<double>(p.samples) : 0.0,
        p.samples, times.size());
    std::printf(
        "   passes that polled something: median %.0f ms, max %.0f ms (%zu passes); stop took "
        "%.1f ms\n",
        passes.median, passes.max, passes.samples, stopMs);
    std::printf(
        "summary period_%s=%.3f within_%s=%.1f min_interval_%s=%.2f stop_%s_ms=%.1f\n",
        label.c_str(), mean / 15.0, label.c_str(),
        p.samples ? 100.0 * static_cast<double>(within) / static_cast<double>(p.samples) : 0.0,
        label.c_str(), p.min, label.c_str(), stopMs);
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    Settings settings;
    for (int i = 1; i < argc; ++i) {
        const std::string flag = argv[i];
        auto value = [&] { return i + 1 < argc ? std::atoi(argv[++i]) : 0; };
        if (flag == "--count") {
            settings.count = static_cast<size_t>(value());
        } else if (flag == "--hung-percent") {
            settings.hungPercents.push_back(value());
        } else if (flag == "--steady-seconds") {
            settings.steadySeconds = value();
        } else if (flag == "--quick") {
            settings.quick = true;
        } else if (flag == "--discovery-only") {
            settings.discoveryOnly = true;
        } else if (flag == "--polling-only") {
            settings.pollingOnly = true;
        } else {
            std::fprintf(stderr,
                         "usage: %s [--count N] [--hung-percent P]... [--steady-seconds S]\n"
                         "          [--quick] [--discovery-only] [--polling-only]\n",
                         argv[0]);
            return 2;
        }
    }
    if (settings.quick)
        settings.steadySeconds = std::min(settings.steadySeconds, 20);

    auto fleet = StartFleet(settings);
    std::printf("fleet: %zu projectors, %d I/O threads, discovery port %u, HTTP port %u\n",
                fleet->Size(), fleet->ThreadCount(), fleet->DiscoveryPort(), fleet->HttpPort());
    if (!settings.pollingOnly)
        BenchDiscovery(settings, *fleet);
    if (settings.discoveryOnly)
        return 0;

    if (settings.hungPercents.empty())
        settings.hungPercents = {5, 20};
    const HttpOptions limits;
    std::printf("== Polling on the HTTP engine, %zu live projectors (at first every one is due)\n",
                settings.count);
    PrintRound(RunFirstRound(*fleet), "live");

    std::vector<bool> hung(settings.count, false);
    std::printf("== Steady state, all answering\n");
    SteadyRhythm(settings, *fleet, hung, "live");

    for (int percent : settings.hungPercents) {
        std::fill(hung.begin(), hung.end(), false);
        size_t hungCount = 0;
        for (size_t i = 0; i < settings.count; ++i) {
            // Spread evenly: projector i is hung when it crosses the next whole share.
            const bool isHung = (i + 1) * static_cast<size_t>(percent) / 100 !=
                                i * static_cast<size_t>(percent) / 100;
            fleet->SetFaults(i, isHung ? Fault(&sim::Faults::hang) : sim::Faults{});
            hung[i] = isHung;
            hungCount += isHung;
        }
        std::printf(
            "== %d%%: %zu of %zu projectors hung (accept, never answer); transport limits: "
            "connect %d ms, total %d ms\n",
            percent, hungCount, settings.count, limits.connectTimeoutMs, limits.totalTimeoutMs);
        const std::string label = "hung" + std::to_string(percent);
        PrintRound(RunFirstRound(*fleet), label.c_str());
        SteadyRhythm(settings, *fleet, hung, label);
    }
    fleet->Stop();
    return 0;
}
