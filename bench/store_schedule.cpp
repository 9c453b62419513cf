// Cost of one schedule check over 1,000 projectors with all four tasks stored, and of one
// store write, on a file in a temporary folder. Prints figures; asserts nothing.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "protocol/console.h"
#include "schedule/schedule_runner.h"
#include "store/reg_store.h"

namespace {

using namespace vistrel;
using Ms = std::chrono::duration<double, std::milli>;

class SettableClock final : public Clock {
  public:
    uint32_t TickMs() const override { return 0; }
    int64_t Now() const override { return now; }
    int64_t now = 1717000000;
};

template <class F>
void Measure(const char* what, int runs, F&& body) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        body(i);
        ms.push_back(Ms(std::chrono::steady_clock::now() - t0).count());
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%-58s median %8.3f ms  min %8.3f ms  max %8.3f ms  (%d runs)\n", what,
                ms[ms.size() / 2], ms.front(), ms.back(), runs);
}

}  // namespace

int main() {
    constexpr int kProjectors = 1000;
    std::string pattern = (std::filesystem::temp_directory_path() / "vistrel-bench-XXXXXX");
    const std::filesystem::path dir = ::mkdtemp(pattern.data());
    const auto file = dir / "Brightwerk" / "registry.reg";

    SettableClock clock;
    RegStore store(file, "Vistrel", clock);
    Console console;
    size_t queued = 0;
    ScheduleRunner runner(store, clock, SystemLocalTime::Instance(),
                          [&](const std::string&, const std::string&) { ++queued; });
    {
        auto guard = console.table.Lock();
        RegStore::Batch batch(store);
        for (int p = 0; p < kProjectors; ++p) {
            char mac[16];
            std::snprintf(mac, sizeof mac, "00AB12%06X", p);
            Info info(mac);
            info.ip = "10.0." + std::to_string(p / 250) + "." + std::to_string(p % 250 + 1);
            guard.Store(info);
            for (int i = 0; i < kTaskCount; ++i) {
                const int64_t start = clock.now + 3600 + 60 * i;
                const SchedTask task{1, 1 + i % 3, start, start, start, i % 2};
                store.WriteProjectorTask(mac, i, &task);
            }
        }
    }
    std::printf("store file: %s, %ju bytes, %d projectors x %d tasks\n", file.c_str(),
                static_cast<uintmax_t>(std::filesystem::file_size(file)), kProjectors, kTaskCount);

    Measure("RunSchedules, nothing due (the 2-second check)", 30,
            [&](int) { runner.RunSchedules(console.table); });
    const uint64_t writesBefore = store.WriteCount();
    Measure("RunSchedules, first check after a restart (file parsed)", 10, [&](int) {
        RegStore cold(file, "Vistrel", clock);
        ScheduleRunner coldRunner(cold, clock, SystemLocalTime::Instance(),
                                  [&](const std::string&, const std::string&) { ++queued; });
        coldRunner.RunSchedules(console.table);
    });
    int fired = 0;
    Measure("RunSchedules, all 4,000 tasks due (one store write)", 5, [&](int) {
        clock.now += 8 * 86400;  // every task overdue by a week or more
        fired += runner.RunSchedules(console.table);
    });
    std::printf("  fired %d tasks, queued %zu commands, %ju store writes for 5 checks\n", fired,
                queued, static_cast<uintmax_t>(store.WriteCount() - writesBefore));
    Measure("one store write (SetAppDword, 1,000-projector file)", 30,
            [&](int i) { store.SetAppDword("Interval", 10000u + static_cast<uint32_t>(i)); });
    Measure("one read of another process's change (reload + read)", 30, [&](int i) {
        RegStore other(file, "Vistrel", clock);
        other.SetAppDword("Interval", 20000u + static_cast<uint32_t>(i));
        store.GetAppDword("Interval", 0);
    });
    std::printf("store file after the runs: %ju bytes\n",
                static_cast<uintmax_t>(std::filesystem::file_size(file)));

    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return 0;
}
