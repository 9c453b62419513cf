// Main-window figures with 1,000 projectors: the two-second list refresh with nothing and
// with 10% of the cells changed, the GUI thread's longest stall while 1,000 discovery
// answers arrive, and resident memory. Prints figures; runs on the offscreen platform.
//
//   QT_QPA_PLATFORM=offscreen build/bench/bench_gui_refresh
#include <QApplication>
#include <QElapsedTimer>
#include <QTableView>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/console_backend.h"
#include "app/projector_list_model.h"
#include "app/vistrel_app.h"
#include "app/vistrel_dlg.h"
#include "monitor/discovery.h"
#include "monitor/udp_socket.h"

namespace {

using namespace vistrel;
using Steady = std::chrono::steady_clock;

constexpr int kProjectors = 1000;

// Memory store and a real discovery socket on loopback; no threads, so the figures are the
// window's own.
class BenchBackend final : public ConsoleBackend {
  public:
    explicit BenchBackend(Console& console) : discovery_(console) {}
    std::vector<std::string> LoadGroupNames() override { return {"Hall", "Lab"}; }
    uint32_t GetAppDword(const std::string&, uint32_t fallback) override { return fallback; }
    bool SetAppDword(const std::string&, uint32_t) override { return true; }
    uint32_t GetProjectorDword(const std::string& mac, const std::string&,
                               uint32_t fallback) override {
        auto it = checked_.find(mac);
        return it == checked_.end() ? fallback : it->second;
    }
    bool SetProjectorDword(const std::string& mac, const std::string&, uint32_t v) override {
        checked_[mac] = v;
        return true;
    }
    DiscoveryStatus OpenDiscovery() override {
        DiscoveryStatus status;
        status.open = discovery_.OpenDiscovery();
        status.descriptor = status.open ? static_cast<int>(discovery_.Descriptor()) : -1;
        return status;
    }
    bool HandleAnswer() override { return discovery_.HandleAnswer(); }
    void Broadcast() override { discovery_.Broadcast(); }
    void DiscoveryCycle() override {}
    void RequestRelocationProbe(std::weak_ptr<RelocationWindow> waiter) override {
        discovery_.RequestRelocationProbe(std::move(waiter));
    }
    void StartPolling() override {}
    void PausePolling(bool) override {}
    bool StopPolling(std::chrono::milliseconds) override { return true; }
    void StartRequestWorker() override {}
    void WatchdogTick() override {}
    bool StopRequestWorker(std::chrono::milliseconds) override { return true; }
    void RunSchedules() override {}
    uint16_t Port() const { return discovery_.LocalPort(); }

  private:
    Discovery discovery_;
    std::map<std::string, uint32_t> checked_;
};

long ResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return -1;
}

std::string Mac(int i) {
    char mac[16];
    std::snprintf(mac, sizeof mac, "02BENCH%05d", i);
    return mac;
}

Info Record(int i) {
    Info info(Mac(i));
    info.ip = "10.1." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1);
    info.power = i % 4 == 3 ? "Standby" : "ON";
    info.source = "HDMI";
    info.lampHour = std::to_string(100 + i);
    info.displayMode = "Presentation";
    info.fwVersion = "A123";
    info.groupName = i % 2 ? "Hall" : "Lab";
    info.projectorName = "Room " + std::to_string(i);
    info.freshness = 5;
    return info;
}

struct Stats {
    double mean, median, p99, max;
};

Stats Summarise(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    double sum = 0;
    for (double v : ms)
        sum += v;
    return {sum / ms.size(), ms[ms.size() / 2], ms[ms.size() * 99 / 100], ms.back()};
}

void Print(const char* what, const Stats& s) {
    std::printf("%-58s mean %7.3f ms  median %7.3f  p99 %7.3f  max %7.3f\n", what, s.mean, s.median,
                s.p99, s.max);
}

double Ms(Steady::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    InitGuiResources();
    const long rssStart = ResidentKb();

    NetworkProfile profile;
    profile.bindAddress = "127.0.4.1";
    profile.broadcastAddress = "127.0.4.1";  // the probe goes nowhere but loopback
    profile.discoveryPort = 0;
    Console console(profile);
    BenchBackend backend(console);
    CVistrelDlg window(console, backend);
    window.resize(1280, 800);
    window.show();
    QApplication::processEvents();
    const long rssWindow = ResidentKb();

    {
        auto guard = console.table.Lock();
        for (int i = 0; i < kProjectors; ++i)
            guard.Store(Record(i));
    }
    window.RefreshNow();
    QApplication::processEvents();
    std::printf("rows in list: %d\n", window.Model()->RowCount());
    const long rssFull = ResidentKb();

    constexpr int kRounds = 200;
    std::vector<double> handler, withPaint;
    for (int r = 0; r < kRounds; ++r) {
        const auto t0 = Steady::now();
        window.RefreshNow();
        const auto t1 = Steady::now();
        QApplication::processEvents();
        const auto t2 = Steady::now();
        handler.push_back(Ms(t1 - t0));
        withPaint.push_back(Ms(t2 - t0));
    }
    Print("timer-2 refresh, 1,000 rows unchanged (handler)", Summarise(handler));
    Print("timer-2 refresh, 1,000 rows unchanged (+ repaint)", Summarise(withPaint));

    // 10% of the compared cells (1,000 rows x 9 cells) change before every refresh.
    std::mt19937 random(7);
    handler.clear();
    withPaint.clear();
    const uint64_t cellsBefore = window.Model()->CellsChanged();
    for (int r = 0; r < kRounds; ++r) {
        {
            auto guard = console.table.Lock();
            auto& records = guard.Records();
            for (int c = 0; c < kProjectors * 9 / 10; ++c) {
                Info& info = records[random() % records.size()];
                const std::string v = std::to_string(random() % 100000);
                switch (random() % 8) {
                    case 0:
                        info.ip = "10.9." + v;
                        break;
                    case 1:
                        info.power = "P" + v;
                        break;
                    case 2:
                        info.lampHour = v;
                        break;
                    case 3:
                        info.source = "S" + v;
                        break;
                    case 4:
                        info.fwVersion = "F" + v;
                        break;
                    case 5:
                        info.displayMode = "D" + v;
                        break;
                    case 6:
                        info.projectorName = "Room " + v;
                        break;
                    default:
                        info.tasks[0].enabled ^= 1;
                        break;
                }
            }
        }
        const auto t0 = Steady::now();
        window.RefreshNow();
        const auto t1 = Steady::now();
        QApplication::processEvents();
        const auto t2 = Steady::now();
        handler.push_back(Ms(t1 - t0));
        withPaint.push_back(Ms(t2 - t0));
    }
    std::printf("cells rewritten per refresh (mean): %.0f\n",
                double(window.Model()->CellsChanged() - cellsBefore) / kRounds);
    Print("timer-2 refresh, 10% cells changed (handler)", Summarise(handler));
    Print("timer-2 refresh, 10% cells changed (+ repaint)", Summarise(withPaint));

    // 1,000 discovery answers, sent 100 per millisecond as a large fleet does, while a 1 ms
    // timer on the GUI thread measures the longest gap between its ticks.
    {
        auto guard = console.table.Lock();
        guard.Records().clear();
    }
    Console fresh(profile);
    BenchBackend answersBackend(fresh);
    CVistrelDlg answersWindow(fresh, answersBackend);
    answersWindow.show();
    QApplication::processEvents();
    QElapsedTimer clock;
    clock.start();
    qint64 last = clock.nsecsElapsed();
    double worstGap = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        worstGap = std::max(worstGap, (now - last) / 1e6);
        last = now;
    });
    ticker.start(1);
    // Let the new window settle before the answers come, so only their handling is timed.
    const auto settle = Steady::now();
    while (Steady::now() - settle < std::chrono::milliseconds(300)) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    worstGap = 0;
    last = clock.nsecsElapsed();
    const uint16_t port = answersBackend.Port();
    std::atomic<bool> sent{false};
    std::thread sender([&] {
        UdpSocket socket;
        if (!socket.Open("127.0.4.2", 0))
            return;
        for (int i = 0; i < kProjectors; ++i) {
            socket.SendTo("127.0.4.1", port, "Hello 13.#-" + Mac(20000 + i));
            if (i % 100 == 99)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        sent = true;
    });
    const auto start = Steady::now();
    size_t seen = 0;
    while (Steady::now() - start < std::chrono::seconds(5)) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        seen = fresh.table.Lock().Size();
        if (seen >= kProjectors && sent)
            break;
    }
    const double took = Ms(Steady::now() - start);
    ticker.stop();
    sender.join();
    std::printf(
        "discovery: %zu of %d answers in the table after %.1f ms; longest GUI-thread "
        "gap %.2f ms (1 ms timer)\n",
        seen, kProjectors, took, worstGap);

    std::printf(
        "resident memory: %ld KB at start, %ld KB with the window, %ld KB with "
        "1,000 projectors listed (+%ld KB for the rows and table)\n",
        rssStart, rssWindow, rssFull, rssFull - rssWindow);
    return 0;
}
