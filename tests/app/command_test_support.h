// Support for the command tests: a backend over the real discovery, polling and request
// ring talking to a simulated fleet on loopback, a window fixture around it, and a script
// runner that answers the modal dialogs and message boxes a command opens.
#pragma once

#include <gtest/gtest.h>

#include <QMessageBox>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/console_backend.h"
#include "app/group_commands.h"
#include "app/projector_commands.h"
#include "app/vistrel_dlg.h"
#include "monitor/discovery.h"
#include "monitor/status_poller.h"
#include "protocol/request_ring.h"
#include "sim/fleet.h"
#include "store/reg_store.h"
#include "store/store_test_support.h"

namespace vistrel::test {

class FleetBackend final : public ConsoleBackend {
  public:
    FleetBackend(Console& console, RegStore& store, PollerOptions poller, RequestRingOptions ring);
    ~FleetBackend() override;

    std::vector<std::string> LoadGroupNames() override { return store_.LoadGroupNames(); }
    uint32_t GetAppDword(const std::string& name, uint32_t fallback) override {
        return store_.GetAppDword(name, fallback);
    }
    bool SetAppDword(const std::string& name, uint32_t value) override {
        return store_.SetAppDword(name, value) != 0;
    }
    uint32_t GetProjectorDword(const std::string& mac, const std::string& name,
                               uint32_t fallback) override {
        return store_.GetProjectorDword(mac, kProjectorKeyRoot, 0, name, fallback);
    }
    bool SetProjectorDword(const std::string& mac, const std::string& name,
                           uint32_t value) override {
        return store_.SetProjectorDword(mac, kProjectorKeyRoot, 0, name, value) != 0;
    }
    DiscoveryStatus OpenDiscovery() override;
    bool HandleAnswer() override { return discovery_.HandleAnswer(); }
    void Broadcast() override {
        ++broadcasts;
        discovery_.Broadcast();
    }
    void DiscoveryCycle() override {
        ++cycles;
        discovery_.AutoDiscoveryCycle();
    }
    void RequestRelocationProbe(std::weak_ptr<RelocationWindow> waiter) override {
        discovery_.RequestRelocationProbe(std::move(waiter));
    }
    bool FollowRelocation() override { return discovery_.FollowRelocation(); }
    void StartPolling() override { poller_.StartPolling(); }
    void PausePolling(bool paused) override;
    bool StopPolling(std::chrono::milliseconds) override {
        poller_.Stop();
        return true;
    }
    void StartRequestWorker() override { ring_.StartRequestWorker(); }
    void WatchdogTick() override { ring_.WatchdogTick(); }
    bool StopRequestWorker(std::chrono::milliseconds) override {
        ring_.Shutdown();
        return true;
    }
    void RunSchedules() override {}

    RequestRing& ring() { return ring_; }
    StatusPoller& poller() { return poller_; }

    std::atomic<int> broadcasts{0};
    std::atomic<int> cycles{0};
    std::vector<bool> pauseCalls;  // true: pause, false: resume

  private:
    RegStore& store_;
    Discovery discovery_;
    StatusPoller poller_;
    RequestRing ring_;
};

// One projector of the test fleet.
struct SimProjector {
    std::string group;
    std::string name;
    int lampHours = -1;  // -1: as generated
    int power = -1;      // sim::kPowerOn and so on; -1: as generated
};

// A console with its window and both command sets over a fleet on 127.0.4.128 and up.
class CommandFixture : public ::testing::Test {
  protected:
    void TearDown() override;

    // Starts the fleet (one projector per entry) and, unless `openWindow` is false, the
    // window. `groups` are created in the store first.
    void Start(const std::vector<SimProjector>& projectors,
               const std::vector<std::string>& groups = {}, bool openWindow = true);
    void OpenWindow();
    void CloseWindow();

    // Waits until the list shows `rows` rows (and, when given, `check` holds).
    bool WaitForRows(int rows, const std::function<bool()>& check = {}, int timeoutMs = 8000);
    // Waits until every projector's group reply has reached the table.
    bool WaitForGroupsPolled(int timeoutMs = 8000);
    // HTTP bodies the fleet received that start with `prefix`, as (address, body).
    std::vector<std::pair<std::string, std::string>> Received(const std::string& prefix) const;
    bool WaitForReceived(const std::string& prefix, size_t count, int timeoutMs = 5000) const;
    int RowOfAddress(const std::string& address) const;
    void SelectRows(const std::vector<int>& rows);
    void SelectGroup(int row);

    vistrel::testing::TempDir dir;
    std::unique_ptr<sim::Fleet> fleet;
    std::unique_ptr<Console> console;
    std::unique_ptr<RegStore> store;
    std::unique_ptr<FleetBackend> backend;
    std::unique_ptr<CVistrelDlg> window;
    ProjectorCommands* projectorCommands = nullptr;
    GroupCommands* groupCommands = nullptr;
    // The console's clock when set (before Start); the system's otherwise.
    const Clock* clock = nullptr;
    // Least time between two polls of one projector; 0 polls on every pass.
    uint32_t pollIntervalMs = 0;
};

// What a script step saw in a message box.
struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
};

// Runs steps against the modal widgets a command opens, one at a time, every few
// milliseconds, while the command's own modal loop runs. A step returns true when it has
// done its part. If the script has not finished within its time, every modal widget is
// closed so the test cannot hang, and Finished() stays false.
class ModalScript : public QObject {
  public:
    using Step = std::function<bool(QWidget* modal)>;
    explicit ModalScript(int timeoutMs = 8000);
    ModalScript& Then(Step step) {
        steps_.push_back(std::move(step));
        return *this;
    }
    ~ModalScript() override;
    bool Finished() const { return next_ >= steps_.size(); }
    std::vector<SeenBox> boxes;

    // Steps: answer the message box that is up with `button`, recording it.
    Step Answer(QMessageBox::StandardButton button);

  private:
    void Tick();

    std::vector<Step> steps_;
    size_t next_ = 0;
    int timerId_ = 0;
    qint64 deadline_ = 0;

  protected:
    void timerEvent(QTimerEvent* event) override;
};

// A step that acts on a modal dialog of type T once one is up.
template <typename T>
ModalScript::Step OnDialog(std::function<void(T&)> act) {
    return [act](QWidget* modal) {
        auto* dialog = qobject_cast<T*>(modal);
        if (!dialog)
            return false;
        act(*dialog);
        return true;
    };
}

}  // namespace vistrel::test
