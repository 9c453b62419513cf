// Prints figures for PJLink projectors in a mixed fleet, on loopback:
//  - stop: how long the PJLink engine's Stop takes with exchanges in flight to projectors
//    that accept connections and never answer (and more waiting for a connection);
//  - mixed: N native projectors polled over HTTP beside N PJLink projectors polled over
//    PJLink, on the real clock: the achieved polling period of each kind over the 15-second
//    minimum, PJLink exchanges per second, connections opened and the most open at once,
//    and the CPU time of the console's threads (the simulators' threads are not counted).
// Lines starting "summary" are for scripts.
//
// Usage: bench_pjlink_fleet [--count N] [--seconds S] [--stop-only] [--mixed-only]
// Native projectors live on 127.0.12.2 upward, PJLink ones on 127.0.40.2 upward, the silent
// peers of the stop figures on 127.0.48.2 upward; the console binds 127.0.12.1.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "monitor/status_poller.h"
#include "pjlink/pjlink_engine.h"
#include "pjlink/pjlink_monitor.h"
#include "sim/fleet.h"
#include "sim/pjlink_fleet.h"

namespace {

using namespace vistrel;
using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

// Thread names (at most 15 characters).
constexpr const char* kHttpThread = "console-http";
constexpr const char* kPjlinkThread = "console-pjlink";

struct Settings {
    size_t count = 1000;
    int seconds = 60;
    bool stopOnly = false;
    bool mixedOnly = false;
};

double Ms(SteadyClock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

struct Spread {
    double mean = 0, min = 0, median = 0, p99 = 0, max = 0;
    size_t samples = 0;
};

Spread Summarise(std::vector<double> values) {
    Spread s;
    if (values.empty())
        return s;
    std::sort(values.begin(), values.end());
    s.samples = values.size();
    double sum = 0;
    for (double v : values)
        sum += v;
    s.mean = sum / static_cast<double>(values.size());
    s.min = values.front();
    s.median = values[values.size() / 2];
    s.p99 = values[std::min(values.size() - 1, values.size() * 99 / 100)];
    s.max = values.back();
    return s;
}

// The console's threads carry a name of their own, so their CPU time can be told apart from
// the simulators' in the same process.
ThreadStarter NamedStarter(const char* name) {
    return [name](std::function<void()> body) {
        return std::thread([name, body = std::move(body)] {
            pthread_setname_np(pthread_self(), name);
            body();
        });
    };
}

// CPU seconds (user + system) of this process's threads named `name`, as the kernel counts
// them; threads that have ended are no longer counted, so read while they run.
double ThreadCpuSeconds(const std::string& name) {
    const double tick = static_cast<double>(::sysconf(_SC_CLK_TCK));
    double total = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream comm(task.path() / "comm");
        std::string taskName;
        std::getline(comm, taskName);
        if (taskName != name)
            continue;
        std::ifstream statFile(task.path() / "stat");
        std::string stat;
        std::getline(statFile, stat);
        // Fields after the parenthesised name: state is the 3rd field, utime the 14th.
        const size_t close = stat.rfind(')');
        if (close == std::string::npos)
            continue;
        std::vector<std::string> fields;
        size_t at = close + 2;
        while (at < stat.size()) {
            const size_t end = stat.find(' ', at);
            fields.push_back(stat.substr(at, end == std::string::npos ? end : end - at));
            if (end == std::string::npos)
                break;
            at = end + 1;
        }
        if (fields.size() > 12)
            total += (std::stod(fields[11]) + std::stod(fields[12])) / tick;
    }
    return total;
}

// --- stop ---------------------------------------------------------------------------------

// A host that takes connections (the kernel completes them) and never says a word.
class SilentPeer {
  public:
    SilentPeer(const std::string& address, uint16_t port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int one = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        ::inet_pton(AF_INET, address.c_str(), &a.sin_addr);
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd_, 64) != 0) {
            std::perror(("silent peer " + address).c_str());
            std::exit(1);
        }
        socklen_t length = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &length);
        port_ = ntohs(a.sin_port);
    }
    ~SilentPeer() { ::close(fd_); }
    SilentPeer(const SilentPeer&) = delete;
    SilentPeer& operator=(const SilentPeer&) = delete;
    uint16_t Port() const { return port_; }

  private:
    int fd_ = -1;
    uint16_t port_ = 0;
};

std::string Address(int third, size_t index) {
    // 127.0.<third + index / 250>.<2 + index % 250>
    return "127.0." + std::to_string(third + static_cast<int>(index / 250)) + "." +
           std::to_string(2 + index % 250);
}

void BenchStop(const Settings& settings) {
    const size_t peers = std::min<size_t>(settings.count, 500);
    std::vector<std::unique_ptr<SilentPeer>> silent;
    uint16_t port = 0;
    for (size_t i = 0; i < peers; ++i) {
        silent.push_back(std::make_unique<SilentPeer>(Address(48, i), port));
        port = silent.back()->Port();  // one port for all, as projectors share 4352
    }
    std::printf(
        "== Stop with exchanges in flight: %zu silent projectors (accept, never answer), 3 "
        "exchanges each, default limits (connect %lld ms, reply %lld ms, %zu connections)\n",
        peers, static_cast<long long>(pjlink::EngineOptions{}.connectTimeout.count()),
        static_cast<long long>(pjlink::EngineOptions{}.replyTimeout.count()),
        pjlink::EngineOptions{}.maxConnections);
    std::vector<double> stops;
    const int rounds = 10;
    for (int round = 0; round < rounds; ++round) {
        pjlink::EngineOptions options;
        options.port = port;
        pjlink::Engine engine(options);
        std::atomic<size_t> ended{0};
        for (int k = 0; k < 3; ++k) {
            for (size_t i = 0; i < peers; ++i) {
                engine.Send(Address(48, i), pjlink::PollCommands(1), "",
                            [&ended](pjlink::Exchange) { ended.fetch_add(1); });
            }
        }
        // In flight: connected and waiting for a greeting that never comes.
        const auto until = SteadyClock::now() + 10s;
        while (engine.OpenConnections() < std::min(peers, options.maxConnections) &&
               SteadyClock::now() < until)
            std::this_thread::sleep_for(1ms);
        const size_t open = engine.OpenConnections();
        const auto start = SteadyClock::now();
        engine.Stop();
        stops.push_back(Ms(SteadyClock::now() - start));
        if (round == 0) {
            std::printf("   at Stop: %zu connections open, %zu of %zu exchanges ended after it\n",
                        open, ended.load(), 3 * peers);
        }
    }
    const Spread s = Summarise(stops);
    std::printf("   Stop(): median %.2f ms, max %.2f ms over %d rounds\n", s.median, s.max, rounds);
    std::printf("summary pjlink_stop_median_ms=%.2f pjlink_stop_max_ms=%.2f\n", s.median, s.max);
}

// --- mixed fleet ----------------------------------------------------------------------------

void BenchMixed(const Settings& settings) {
    auto nativeOptions = sim::GenerateFleet(settings.count, 11, "127.0.12.2");
    nativeOptions.discoveryPort = 0;
    nativeOptions.httpPort = 0;
    sim::Fleet native(std::move(nativeOptions));
    auto pjOptions = sim::GeneratePjlinkFleet(settings.count, "127.0.40.2");
    pjOptions.port = 0;
    pjOptions.searchPort = 0;
    pjOptions.threads = 2;
    sim::PjlinkFleet pj(std::move(pjOptions));
    std::string error;
    if (!native.Start(&error) || !pj.Start(&error)) {
        std::fprintf(stderr, "fleet: %s\n", error.c_str());
        std::exit(1);
    }
    std::printf(
        "== Mixed fleet: %zu native projectors (HTTP port %u) beside %zu PJLink ones "
        "(port %u; every other class 2, every third with a password), %d s\n",
        settings.count, native.HttpPort(), settings.count, pj.Port(), settings.seconds);

    NetworkProfile profile;
    profile.bindAddress = "127.0.12.1";
    profile.broadcastAddress = "127.0.12.1";  // nothing is broadcast here
    profile.discoveryPort = native.DiscoveryPort();
    profile.httpPort = native.HttpPort();
    profile.pjlinkPort = pj.Port();
    profile.pjlinkSearchPort = pj.SearchPort();
    Console console(profile);
    {
        auto table = console.table.Lock();
        for (size_t i = 0; i < native.Size(); ++i) {
            Info info(native.Mac(i));
            info.ip = native.Address(i);
            table.Store(info);
        }
    }
    PollerOptions pollerOptions;
    pollerOptions.threadStarter = NamedStarter(kHttpThread);
    StatusPoller poller(console, pollerOptions);
    pjlink::MonitorOptions monitorOptions;
    monitorOptions.engine.threadStarter = NamedStarter(kPjlinkThread);
    monitorOptions.password = [](const std::string&) { return std::string("panel"); };
    pjlink::Monitor monitor(console, monitorOptions);
    for (size_t i = 0; i < pj.Size(); ++i)
        monitor.Add(pj.Address(i));

    native.Log().Clear();
    pj.ClearLog();
    pj.ResetPeak();
    const auto start = SteadyClock::now();
    poller.StartPolling();
    monitor.Start();
    // The first round: every PJLink projector polled once (all due at once).
    double firstRoundMs = -1;
    size_t answered = 0;
    std::vector<double> cpuSamples;
    const auto end = start + std::chrono::seconds(settings.seconds);
    double httpCpu = 0;
    double pjlinkCpu = 0;
    while (SteadyClock::now() < end) {
        std::this_thread::sleep_for(50ms);
        if (firstRoundMs < 0) {
            auto table = console.table.Lock();
            answered = 0;
            for (size_t i = 0; i < pj.Size(); ++i) {
                Info info;
                if (table.Lookup(pjlink::PjlinkKey(pj.Address(i)), info) && !info.power.empty())
                    ++answered;
            }
            if (answered == pj.Size())
                firstRoundMs = Ms(SteadyClock::now() - start);
        }
        // Read while the threads run.
        httpCpu = ThreadCpuSeconds(kHttpThread);
        pjlinkCpu = ThreadCpuSeconds(kPjlinkThread);
    }
    const double wall = std::chrono::duration<double>(SteadyClock::now() - start).count();
    const uint64_t polls = monitor.Polls();
    const uint64_t opened = monitor.engine().ConnectionsOpened();
    const auto stopStart = SteadyClock::now();
    monitor.Stop();
    const double monitorStopMs = Ms(SteadyClock::now() - stopStart);
    poller.Stop();

    // Native: time between consecutive info requests of each projector.
    std::map<size_t, std::vector<int64_t>> nativeTimes;
    for (const sim::LogEntry& e : native.Log().Entries()) {
        if (e.kind == "http" && e.body == "query=info")
            nativeTimes[e.projector].push_back(e.timeMs);
    }
    std::vector<double> nativeGaps;
    for (auto& [index, list] : nativeTimes) {
        for (size_t i = 1; i < list.size(); ++i)
            nativeGaps.push_back(static_cast<double>(list[i] - list[i - 1]) / 1000.0);
    }
    // PJLink: time between consecutive power queries (the first line of every poll).
    std::map<std::string, std::vector<SteadyClock::time_point>> pjTimes;
    size_t lines = 0;
    for (const sim::PjlinkLogEntry& e : pj.Log()) {
        ++lines;
        if (e.line == "%1POWR ?")
            pjTimes[e.address].push_back(e.at);
    }
    std::vector<double> pjGaps;
    for (auto& [address, list] : pjTimes) {
        for (size_t i = 1; i < list.size(); ++i) {
            const double gap = std::chrono::duration<double>(list[i] - list[i - 1]).count();
            // A class-2 projector's second poll follows its first at once, to ask its class-2
            // details: not part of the rhythm.
            if (gap >= 1.0)
                pjGaps.push_back(gap);
        }
    }
    const Spread n = Summarise(nativeGaps);
    const Spread p = Summarise(pjGaps);
    std::printf(
        "   native: info interval mean %.2f s (period %.3f x 15 s), min %.2f, median %.2f, p99 "
        "%.2f, max %.2f (%zu intervals, %zu projectors)\n",
        n.mean, n.mean / 15.0, n.min, n.median, n.p99, n.max, n.samples, nativeTimes.size());
    std::printf(
        "   PJLink: poll interval mean %.2f s (period %.3f x 15 s), min %.2f, median %.2f, p99 "
        "%.2f, max %.2f (%zu intervals, %zu projectors)\n",
        p.mean, p.mean / 15.0, p.min, p.median, p.p99, p.max, p.samples, pjTimes.size());
    std::printf("   PJLink first round (every projector shown): %.0f ms (%zu of %zu answered)\n",
                firstRoundMs, answered, pj.Size());
    std::printf(
        "   PJLink: %llu polls answered, %.1f exchanges/s, %.1f command lines/s; %llu "
        "connections opened (%llu accepted by the projectors), at most %zu open at once (cap "
        "%zu)\n",
        static_cast<unsigned long long>(polls), static_cast<double>(polls) / wall,
        static_cast<double>(lines) / wall, static_cast<unsigned long long>(opened),
        static_cast<unsigned long long>(pj.Accepted()), pj.PeakConnections(),
        pjlink::EngineOptions{}.maxConnections);
    std::printf(
        "   console CPU in %.1f s: HTTP polling and engine %.2f s (%.1f%% of one core), PJLink "
        "polling and engine %.2f s (%.1f%%); PJLink monitor Stop %.1f ms\n",
        wall, httpCpu, 100.0 * httpCpu / wall, pjlinkCpu, 100.0 * pjlinkCpu / wall, monitorStopMs);
    std::printf(
        "summary period_native=%.3f period_pjlink=%.3f pjlink_exchanges_per_s=%.1f "
        "pjlink_connections=%llu pjlink_peak_open=%zu http_cpu_percent=%.1f "
        "pjlink_cpu_percent=%.1f\n",
        n.mean / 15.0, p.mean / 15.0, static_cast<double>(polls) / wall,
        static_cast<unsigned long long>(opened), pj.PeakConnections(), 100.0 * httpCpu / wall,
        100.0 * pjlinkCpu / wall);
    pj.Stop();
    native.Stop();
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    Settings settings;
    for (int i = 1; i < argc; ++i) {
        const std::string flag = argv[i];
        auto value = [&] { return i + 1 < argc ? std::atoi(argv[++i]) : 0; };
        if (flag == "--count") {
            settings.count = static_cast<size_t>(std::max(value(), 1));
        } else if (flag == "--seconds") {
            settings.seconds = std::max(value(), 1);
        } else if (flag == "--stop-only") {
            settings.stopOnly = true;
        } else if (flag == "--mixed-only") {
            settings.mixedOnly = true;
        } else {
            std::fprintf(stderr,
                         "usage: %s [--count N] [--seconds S] [--stop-only] [--mixed-only]\n",
                         argv[0]);
            return 2;
        }
    }
    if (!settings.mixedOnly)
        BenchStop(settings);
    if (!settings.stopOnly)
        BenchMixed(settings);
    return 0;
}
