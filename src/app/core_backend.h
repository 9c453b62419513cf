// The console's real backend: the store file, the discovery socket, the polling thread,
// the request ring and the schedule check, all over one Console.
#pragma once

#include <memory>

#include "app/console_backend.h"
#include "monitor/discovery.h"
#include "monitor/status_poller.h"
#include "pjlink/pjlink_monitor.h"
#include "pjlink/pjlink_search.h"
#include "pjlink/pjlink_store.h"
#include "protocol/request_ring.h"
#include "schedule/schedule_role.h"
#include "schedule/schedule_runner.h"
#include "store/reg_store.h"

namespace vistrel {

struct CoreBackendOptions {
    PollerOptions poller{};
    RequestRingOptions ring{};
};

class CoreBackend final : public ConsoleBackend {
  public:
    // `appName` names the schedule role's lock beside the store file: one program fires a
    // store's tasks at a time.
    CoreBackend(Console& console, RegStore& store, const std::string& appName,
                CoreBackendOptions options = {});
    ~CoreBackend() override;

    std::vector<std::string> LoadGroupNames() override;
    uint32_t GetAppDword(const std::string& name, uint32_t fallback) override;
    bool SetAppDword(const std::string& name, uint32_t value) override;
    uint32_t GetProjectorDword(const std::string& mac, const std::string& name,
                               uint32_t fallback) override;
    bool SetProjectorDword(const std::string& mac, const std::string& name,
                           uint32_t value) override;
    std::vector<uint32_t> GetProjectorDwords(const std::vector<std::string>& macs,
                                             const std::string& name, uint32_t fallback) override;
    bool SetProjectorDwords(const std::string& name,
                            const std::vector<std::pair<std::string, uint32_t>>& values) override;

    HealthThresholds LoadHealthThresholds() override;
    bool SaveHealthThresholds(const HealthThresholds& thresholds) override;

    DiscoveryStatus OpenDiscovery() override;
    bool HandleAnswer() override;
    bool HandleSearchAnswer() override;
    void Broadcast() override;
    void DiscoveryCycle() override;
    void RequestRelocationProbe(std::weak_ptr<RelocationWindow> waiter) override;
    bool FollowRelocation() override;

    void StartPolling() override;
    void PausePolling(bool paused) override;
    bool StopPolling(std::chrono::milliseconds grace) override;

    void StartRequestWorker() override;
    void WatchdogTick() override;
    bool StopRequestWorker(std::chrono::milliseconds grace) override;

    void RunSchedules() override;

    // Whether this console fires the schedules (another program may hold the role).
    bool HoldsScheduleRole() const { return role_.Held(); }
    bool MarksStore() const { return windowMark_.Held(); }

    // For the main window's commands.
    Discovery& discovery() { return discovery_; }
    RequestRing& ring() { return ring_; }
    RegStore& store() { return store_; }
    StatusPoller& poller() { return poller_; }
    pjlink::Monitor* Pjlink() override { return &pjlink_; }
    // Adds a PJLink projector by address and remembers it in the store.
    bool AddPjlinkProjector(const std::string& ip, const std::string& group) override;
    bool SetPjlinkPassword(const std::string& ip, const std::string& password,
                           std::string* error) override;

  private:
    Console& console_;
    RegStore& store_;
    Discovery discovery_;
    // One engine carries the polling's, the ring's and the batches' exchanges.
    std::shared_ptr<HttpEngine> engine_;
    StatusPoller poller_;
    RequestRing ring_;
    pjlink::Passwords passwords_;
    pjlink::Monitor pjlink_;
    pjlink::Search search_;
    ScheduleRole role_;
    // Tells a headless runner on the same store to leave the role and the port to this window.
    WindowMark windowMark_;
    ScheduleRunner runner_;
};

}  // namespace vistrel
