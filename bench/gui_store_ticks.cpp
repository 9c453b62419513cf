// Main-window figures with N projectors (1,000 unless --count N) over the file-backed store:
// the first display of the list (every row reads its tick), "Check All", one tick and
// "Uncheck All". Prints the time of each action, the store writes it made and the size of
// the file. The store is the console's own
// (CoreBackend over RegStore) in a temporary folder; its threads are never started, so
// nothing but the store is measured and nothing goes on the network.
//
//   QT_QPA_PLATFORM=offscreen build/bench/bench_gui_store_ticks --count 5000
#include <unistd.h>
#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/console_backend.h"
#include "app/core_backend.h"
#include "app/projector_commands.h"
#include "app/projector_list_model.h"
#include "app/vistrel_app.h"
#include "app/vistrel_dlg.h"
#include "store/reg_store.h"

namespace {

using namespace vistrel;
using Steady = std::chrono::steady_clock;

int kProjectors = 1000;

// The store calls go to the console's real backend; discovery, polling and the ring are
// left idle.
class StoreBenchBackend final : public ConsoleBackend {
  public:
    explicit StoreBenchBackend(CoreBackend& core) : core_(core) {}
    std::vector<std::string> LoadGroupNames() override { return core_.LoadGroupNames(); }
    uint32_t GetAppDword(const std::string& name, uint32_t fallback) override {
        return core_.GetAppDword(name, fallback);
    }
    bool SetAppDword(const std::string& name, uint32_t value) override {
        return core_.SetAppDword(name, value);
    }
    uint32_t GetProjectorDword(const std::string& mac, const std::string& name,
                               uint32_t fallback) override {
        return core_.GetProjectorDword(mac, name, fallback);
    }
    bool SetProjectorDword(const std::string& mac, const std::string& name,
                           uint32_t value) override {
        return core_.SetProjectorDword(mac, name, value);
    }
    bool SetProjectorDwords(const std::string& name,
                            const std::vector<std::pair<std::string, uint32_t>>& values) override {
        return core_.SetProjectorDwords(name, values);
    }
    DiscoveryStatus OpenDiscovery() override { return {}; }
    bool HandleAnswer() override { return false; }
    void Broadcast() override {}
    void DiscoveryCycle() override {}
    void RequestRelocationProbe(std::weak_ptr<RelocationWindow>) override {}
    void StartPolling() override {}
    void PausePolling(bool) override {}
    bool StopPolling(std::chrono::milliseconds) override { return true; }
    void StartRequestWorker() override {}
    void WatchdogTick() override {}
    bool StopRequestWorker(std::chrono::milliseconds) override { return true; }
    void RunSchedules() override {}

  private:
    CoreBackend& core_;
};

std::string Mac(int i) {
    char mac[32];  // 12 characters: up to 100,000 projectors
    std::snprintf(mac, sizeof mac, "02BENCH%05d", i % 100000);
    return mac;
}

double Ms(Steady::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void Report(const char* what, Steady::duration took, uint64_t writes,
            const std::filesystem::path& file) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(file, ec);
    std::printf("%-44s %9.1f ms  %5llu store writes  file %7lld bytes\n", what, Ms(took),
                static_cast<unsigned long long>(writes), ec ? -1LL : static_cast<long long>(size));
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--count")
            kProjectors = std::max(1, std::atoi(argv[i + 1]));
    }
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    InitGuiResources();

    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("vistrel-bench-ticks-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::filesystem::path file = dir / "registry.reg";
    {
        // Half the fleet has a stored task, so the file has the size of a fleet in use and
        // the other half is new to the store when the list first shows it.
        RegStore seed(file, "Vistrel");
        RegStore::Batch batch(seed);
        for (int i = 0; i < kProjectors; i += 2) {
            SchedTask task;
            task.enabled = 0;
            task.time = task.date = task.start = 1767225600;
            seed.WriteProjectorTask(Mac(i), 0, &task);
        }
    }

    NetworkProfile profile;
    profile.bindAddress = "127.0.4.1";
    profile.broadcastAddress = "127.0.4.1";
    profile.discoveryPort = 0;
    Console console(profile);
    RegStore store(file, "Vistrel");
    CoreBackend core(console, store, "Vistrel-bench");
    StoreBenchBackend backend(core);
    CVistrelDlg window(console, backend);
    new ProjectorCommands(CommandContext{window, store, core.ring()});  // a child of the window
    window.resize(1280, 800);
    window.show();
    QApplication::processEvents();

    {
        auto guard = console.table.Lock();
        for (int i = 0; i < kProjectors; ++i) {
            Info info(Mac(i));
            info.ip = "127.0.9." + std::to_string(i % 250 + 1);
            info.freshness = 5;
            guard.Store(info);
        }
    }
    std::printf("projectors: %d; store file %s\n", kProjectors, file.c_str());

    uint64_t before = store.WriteCount();
    auto t0 = Steady::now();
    window.RefreshNow();
    Report("first display of the rows", Steady::now() - t0, store.WriteCount() - before, file);
    QApplication::processEvents();

    QAction* checkAll = window.Action(kCmdCheckAll);
    QAction* uncheckAll = window.Action(kCmdUncheckAll);
    before = store.WriteCount();
    t0 = Steady::now();
    checkAll->trigger();
    Report("\"Check All\"", Steady::now() - t0, store.WriteCount() - before, file);
    std::printf("rows ticked: %d\n", window.Model()->CheckedCount());

    ProjectorListModel* model = window.Model();
    before = store.WriteCount();
    t0 = Steady::now();
    model->setData(model->index(kProjectors / 2, 0), Qt::Unchecked, Qt::CheckStateRole);
    Report("one tick changed", Steady::now() - t0, store.WriteCount() - before, file);

    before = store.WriteCount();
    t0 = Steady::now();
    uncheckAll->trigger();
    Report("\"Uncheck All\"", Steady::now() - t0, store.WriteCount() - before, file);

    before = store.WriteCount();
    t0 = Steady::now();
    window.RefreshNow();
    Report("list refresh, rows unchanged", Steady::now() - t0, store.WriteCount() - before, file);

    std::filesystem::remove_all(dir);
    return 0;
}
