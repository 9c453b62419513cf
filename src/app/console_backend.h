// What the main window drives besides its widgets: the store, the discovery socket, the
// polling thread, the request worker and the schedules. The console runs on CoreBackend
// (core_backend.h); tests may put a recording double in its place to watch the order of
// start-up and shutdown.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "health/health_thresholds.h"
#include "monitor/discovery.h"
#include "protocol/console.h"

namespace vistrel {

namespace pjlink {
class Monitor;
}

class ConsoleBackend {
  public:
    virtual ~ConsoleBackend() = default;

    // Store.
    virtual std::vector<std::string> LoadGroupNames() = 0;
    virtual uint32_t GetAppDword(const std::string& name, uint32_t fallback) = 0;
    virtual bool SetAppDword(const std::string& name, uint32_t value) = 0;
    virtual uint32_t GetProjectorDword(const std::string& mac, const std::string& name,
                                       uint32_t fallback) = 0;
    virtual bool SetProjectorDword(const std::string& mac, const std::string& name,
                                   uint32_t value) = 0;
    // One value of several projectors, read in one look at the store.
    virtual std::vector<uint32_t> GetProjectorDwords(const std::vector<std::string>& macs,
                                                     const std::string& name, uint32_t fallback) {
        std::vector<uint32_t> values;
        values.reserve(macs.size());
        for (const std::string& mac : macs)
            values.push_back(GetProjectorDword(mac, name, fallback));
        return values;
    }
    // One value of several projectors as one change of the store. True when all were stored.
    virtual bool SetProjectorDwords(const std::string& name,
                                    const std::vector<std::pair<std::string, uint32_t>>& values) {
        bool all = true;
        for (const auto& [mac, value] : values)
            all = SetProjectorDword(mac, name, value) && all;
        return all;
    }

    // The fleet-health thresholds of the console's key; a damaged value reads as its default.
    virtual HealthThresholds LoadHealthThresholds() {
        const HealthThresholds d;
        HealthThresholds t;
        t.lampWarningHours = GetAppDword(std::string(kLampWarningValue), d.lampWarningHours);
        t.lampCriticalHours = GetAppDword(std::string(kLampCriticalValue), d.lampCriticalHours);
        t.notAnsweringSeconds = GetAppDword(std::string(kNotAnsweringValue), d.notAnsweringSeconds);
        return SanitizeHealthThresholds(t);
    }
    // False when the thresholds are refused (CheckHealthThresholds) or could not be stored.
    virtual bool SaveHealthThresholds(const HealthThresholds& t) {
        return CheckHealthThresholds(t).empty() &&
               SetAppDword(std::string(kLampWarningValue), t.lampWarningHours) &&
               SetAppDword(std::string(kLampCriticalValue), t.lampCriticalHours) &&
               SetAppDword(std::string(kNotAnsweringValue), t.notAnsweringSeconds);
    }

    // Discovery. OpenDiscovery creates the socket and sends the first probe; the socket
    // lives as long as the backend.
    struct DiscoveryStatus {
        bool open = false;
        int descriptor = -1;  // readable-notification source while open
        // The PJLink search socket's, read apart so its answers are taken as they come.
        int searchDescriptor = -1;
        std::string reason;  // why it could not open
        std::string remedy;  // what the operator can do about it
    };
    virtual DiscoveryStatus OpenDiscovery() = 0;
    // Reads and handles one waiting datagram; false when none was waiting.
    virtual bool HandleAnswer() = 0;
    // Reads and handles one waiting PJLink search datagram; false when none was waiting.
    virtual bool HandleSearchAnswer() { return false; }
    virtual void Broadcast() = 0;
    // Timer 1: while auto search is on, age every projector and probe.
    virtual void DiscoveryCycle() = 0;
    // Probe, and tell `waiter` when the relocating projector answers from its new address.
    virtual void RequestRelocationProbe(std::weak_ptr<RelocationWindow> waiter) = 0;
    // Called every few hundred milliseconds while a relocation is followed: probes again
    // until the projector answers from its new address or the wait is given up. Returns
    // whether to keep calling.
    virtual bool FollowRelocation() { return false; }

    // PJLink projectors (none without a monitor).
    virtual pjlink::Monitor* Pjlink() { return nullptr; }
    virtual bool AddPjlinkProjector(const std::string&, const std::string&) { return false; }
    virtual bool SetPjlinkPassword(const std::string&, const std::string&, std::string* error) {
        if (error)
            *error = "PJLink is not available here";
        return false;
    }

    // Polling thread.
    virtual void StartPolling() = 0;
    virtual void PausePolling(bool paused) = 0;
    // Returns true when the thread ended within the grace.
    virtual bool StopPolling(std::chrono::milliseconds grace) = 0;

    // Request worker.
    virtual void StartRequestWorker() = 0;
    virtual void WatchdogTick() = 0;
    virtual bool StopRequestWorker(std::chrono::milliseconds grace) = 0;

    // Schedule check. The caller does not hold the table lock: the check takes it only
    // briefly, never across the store's file.
    virtual void RunSchedules() = 0;
};

}  // namespace vistrel
