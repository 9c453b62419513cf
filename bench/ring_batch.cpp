// A batch of 1,000 projectors against the in-process simulator: the console's batch on the
// HTTP engine next to the older thread pool (an injected blocking sender still uses it) and
// the naive way (one thread per request), run alternately in one process. Prints the time
// until the last reply message and the peak number of threads of each, then how long the
// ring takes to shut down with a hung exchange in flight, on the engine and on the pool.
//
//   bench_ring_batch [projectors=1000] [rounds=5] [replyDelayMs=0] [naive]
//
// A reply delay makes every simulated projector answer that much later, as a slow embedded
// web server would.
// Projectors listen on consecutive loopback addresses from 127.0.2.1 on one ephemeral port.
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "protocol/http_request.h"
#include "protocol/request_ring.h"
#include "protocol/request_sender.h"
#include "sim/fleet.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

int ThreadsNow() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Threads:", 0) == 0)
            return std::atoi(line.c_str() + 8);
    }
    return -1;
}

// Samples the process's thread count every millisecond while it lives.
class PeakThreads {
  public:
    PeakThreads()
        : sampler_([this] {
              while (!stop_.load()) {
                  peak_.store(std::max(peak_.load(), ThreadsNow()));
                  std::this_thread::sleep_for(1ms);
              }
          }) {}
    ~PeakThreads() { Stop(); }
    int Stop() {
        if (sampler_.joinable()) {
            stop_.store(true);
            sampler_.join();
        }
        return peak_.load();
    }

  private:
    std::atomic<bool> stop_{false};
    std::atomic<int> peak_{0};
    std::thread sampler_;
};

// Counts reply messages and notes when the last one came.
class CountingSink final : public vistrel::ReplySink {
  public:
    explicit CountingSink(size_t expected) : expected_(expected) {}
    void Post(uint32_t, uintptr_t, intptr_t) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (++count_ == expected_) {
            last_ = Clock::now();
            done_.notify_all();
        }
    }
    bool Wait(std::chrono::seconds timeout, Clock::time_point& last) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!done_.wait_for(lock, timeout, [&] { return count_ >= expected_; }))
            return false;
        last = last_;
        return true;
    }

  private:
    const size_t expected_;
    std::mutex mutex_;
    std::condition_variable done_;
    size_t count_ = 0;
    Clock::time_point last_;
};

struct Figures {
    double ms = 0;
    int peakThreads = 0;
    size_t failed = 0;
};

// The blocking sender that the ring and batch used before the engine.
vistrel::RequestRingOptions PoolOptions(const vistrel::Console& console) {
    vistrel::HttpOptions http;
    http.port = console.profile.httpPort;
    vistrel::RequestRingOptions options;
    options.sender = vistrel::HttpSender(http);
    return options;
}

Figures RunBatch(vistrel::Console& console, size_t count, bool engine) {
    auto sink = std::make_shared<CountingSink>(count);
    Figures figures;
    PeakThreads peak;
    {
        vistrel::RequestRing ring(console,
                                  engine ? vistrel::RequestRingOptions{} : PoolOptions(console));
        const auto start = Clock::now();
        auto result = ring.SendBatch("query=info", sink);
        Clock::time_point last;
        if (!sink->Wait(120s, last))
            std::fprintf(stderr, "batch did not finish\n");
        figures.ms = std::chrono::duration<double, std::milli>(last - start).count();
        for (size_t i = 0; i < count; ++i)
            figures.failed += result->Reply(i).empty() ? 1 : 0;
    }
    figures.peakThreads = peak.Stop();
    return figures;
}

Figures RunNaive(const vistrel::Console& console, size_t count) {
    auto sink = std::make_shared<CountingSink>(count);
    std::vector<std::string> replies(count);
    Figures figures;
    PeakThreads peak;
    {
        vistrel::HttpOptions options;
        options.port = console.profile.httpPort;
        const auto start = Clock::now();
        std::vector<std::thread> threads;
        threads.reserve(count);
        for (size_t i = 0; i < count; ++i) {
            threads.emplace_back([&, i] {
                vistrel::CXHttpRequest request(console.batch[i].ip, "query=info", options);
                request.Send("POST", replies[i]);
                sink->Post(vistrel::kMsgReply, i, 0);
            });
        }
        Clock::time_point last;
        if (!sink->Wait(120s, last))
            std::fprintf(stderr, "naive batch did not finish\n");
        figures.ms = std::chrono::duration<double, std::milli>(last - start).count();
        for (std::thread& thread : threads)
            thread.join();
    }
    figures.peakThreads = peak.Stop();
    for (const std::string& reply : replies)
        figures.failed += reply.empty() ? 1 : 0;
    return figures;
}

// Ring shutdown while the only request in flight goes to a projector that never answers.
double ShutdownWithHungMs(vistrel::Console& console, vistrel::sim::Fleet& fleet, bool engine) {
    vistrel::sim::Faults hang;
    hang.hang = true;
    fleet.SetFaults(0, hang);
    fleet.Log().Clear();
    vistrel::RequestRing ring(console,
                              engine ? vistrel::RequestRingOptions{} : PoolOptions(console));
    ring.StartRequestWorker();
    ring.Enqueue("query=info", {}, fleet.Address(0));
    if (!fleet.Log().WaitFor([](const auto& entries) { return !entries.empty(); }, 10s))
        std::fprintf(stderr, "the hung request never arrived\n");
    const auto start = Clock::now();
    ring.Shutdown();
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    fleet.SetFaults(0, vistrel::sim::Faults{});
    return ms;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    const int replyDelayMs = argc > 3 ? std::atoi(argv[3]) : 0;
    // "naive" adds the one-thread-per-request way (a thread per projector).
    const bool withNaive = argc > 4 && std::string(argv[4]) == "naive";

    // Each exchange holds a socket on both sides; make room for the naive way's thousand.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }

    auto options = vistrel::sim::GenerateFleet(count, /*seed=*/11, "127.0.2.1");
    options.discoveryPort = 0;
    options.httpPort = 0;
    vistrel::sim::Fleet fleet(std::move(options));
    std::string error;
    if (!fleet.Start(&error)) {
        std::fprintf(stderr, "simulator: %s\n", error.c_str());
        return 1;
    }

    if (replyDelayMs > 0) {
        vistrel::sim::Faults slow;
        slow.replyDelayMs = replyDelayMs;
        for (size_t i = 0; i < count; ++i)
            fleet.SetFaults(i, slow);
    }

    vistrel::Console console;
    console.profile.httpPort = fleet.HttpPort();
    console.batch.resize(count);
    for (size_t i = 0; i < count; ++i)
        console.batch[i].ip = fleet.Address(i);

    const int baseline = ThreadsNow();
    std::vector<double> engineMs, pooledMs, naiveMs, engineThreads, pooledThreads, naiveThreads;
    size_t engineFailed = 0, pooledFailed = 0, naiveFailed = 0;
    for (int round = 0; round < rounds; ++round) {
        Figures viaEngine = RunBatch(console, count, true);
        Figures pooled = RunBatch(console, count, false);
        Figures naive = withNaive ? RunNaive(console, count) : Figures{};
        engineMs.push_back(viaEngine.ms);
        pooledMs.push_back(pooled.ms);
        naiveMs.push_back(naive.ms);
        engineThreads.push_back(viaEngine.peakThreads - baseline);
        pooledThreads.push_back(pooled.peakThreads - baseline);
        naiveThreads.push_back(naive.peakThreads - baseline);
        engineFailed += viaEngine.failed;
        pooledFailed += pooled.failed;
        naiveFailed += naive.failed;
        std::printf("round %d: engine %.1f ms, %d threads | pool %.1f ms, %d threads", round + 1,
                    viaEngine.ms, viaEngine.peakThreads - baseline, pooled.ms,
                    pooled.peakThreads - baseline);
        if (withNaive)
            std::printf(" | naive %.1f ms, %d threads", naive.ms, naive.peakThreads - baseline);
        std::printf("\n");
    }

    std::printf(
        "\n%zu projectors, reply delay %d ms, %d rounds, medians (threads above the %d already "
        "running)\n",
        count, replyDelayMs, rounds, baseline);
    std::printf("%-34s %14s %14s %12s\n", "", "last reply ms", "peak threads", "failed");
    std::printf("%-34s %14.1f %14.0f %12zu\n", "batch on the HTTP engine", Median(engineMs),
                Median(engineThreads), engineFailed);
    std::printf("%-34s %14.1f %14.0f %12zu\n", "batch on the thread pool (before)",
                Median(pooledMs), Median(pooledThreads), pooledFailed);
    if (withNaive)
        std::printf("%-34s %14.1f %14.0f %12zu\n", "one thread per request", Median(naiveMs),
                    Median(naiveThreads), naiveFailed);

    const double engineStop = ShutdownWithHungMs(console, fleet, true);
    const double poolStop = ShutdownWithHungMs(console, fleet, false);
    std::printf(
        "ring shutdown with a hung exchange in flight: engine %.1f ms, pool (before) %.1f ms\n",
        engineStop, poolStop);
    // One line for scripts/bench-engine.sh.
    std::printf(
        "summary batch_engine_ms=%.1f batch_engine_threads=%.0f batch_pool_ms=%.1f "
        "batch_pool_threads=%.0f ring_stop_engine_ms=%.1f ring_stop_pool_ms=%.1f\n",
        Median(engineMs), Median(engineThreads), Median(pooledMs), Median(pooledThreads),
        engineStop, poolStop);
    fleet.Stop();
    return 0;
}
