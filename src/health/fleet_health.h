// What the console knows about each projector's health, for the window, the command-line
// tool and the metrics exporter: when it last answered, since when it has not, its last known
// power, lamp hours, model and firmware, and which alert thresholds it passes. Fed by the
// console's presence events (subscribe it to Console::presence) and by snapshots of the
// projector table; it sends nothing to any projector. Thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "health/health_thresholds.h"
#include "protocol/clock.h"
#include "protocol/console.h"
#include "protocol/presence_events.h"
#include "protocol/records.h"

namespace vistrel {

// In rising order of urgency: a projector that does not answer outranks its lamp.
enum class HealthState { kOk, kWarning, kCritical, kNotAnswering };

// "ok", "warning", "critical", "not answering".
std::string_view HealthStateName(HealthState state);

struct ProjectorHealth {
    std::string mac;
    std::string ip;
    std::string power;  // last reported: "ON", "standby", "OFF", or empty when unknown
    // Last known: a standby reply carries neither lamp hours nor firmware, and the lamp has
    // not changed because the projector went to standby.
    std::optional<uint32_t> lampHours;
    std::string fwVersion;
    std::string model;  // model code, once a model reply has been seen; polling does not ask
    // Wall-clock seconds (Clock::Now): shown to people and exported, so no wrapping ticks.
    std::optional<int64_t> lastAnswered;  // the last stored info reply
    // The first failed poll or presence drop since it last answered. Cleared once it answers
    // again: polling for a failed poll, discovery for a drop. A short silence sets it without
    // passing the not-answering threshold.
    std::optional<int64_t> notAnsweringSince;
    bool present = false;  // the presence rules keep it in the list (freshness high enough)
    // Thresholds passed. The two lamp flags exclude each other.
    bool lampWarning = false;
    bool lampCritical = false;
    bool notAnswering = false;  // silent for at least the not-answering threshold
    // A PJLink projector's own error report (ERST digits, see Info::pjlinkErrors): an error
    // of the lamp or the filter is critical, any other warning or error a warning.
    std::string deviceErrors;
    bool deviceWarning = false;
    bool deviceCritical = false;
    HealthState state = HealthState::kOk;
};

// Fleet counts. Power counts leave out projectors that are not answering (their last power is
// stale); lamp counts include them (a lamp does not get younger by going silent).
struct FleetCounts {
    size_t listed = 0;  // every projector the console has seen this run
    size_t on = 0;
    size_t standby = 0;
    size_t off = 0;
    size_t notAnswering = 0;
    size_t lampWarning = 0;
    size_t lampCritical = 0;

    bool operator==(const FleetCounts&) const = default;
};

// Sets deviceWarning and deviceCritical from deviceErrors.
void EvaluateDeviceErrors(ProjectorHealth& health);
// "lamp error, fan warning": the items of deviceErrors that are not fine; empty when none.
std::string DeviceErrorsText(const ProjectorHealth& health);

FleetCounts CountFleet(const std::vector<ProjectorHealth>& fleet);

class FleetHealth final : public PresenceObserver {
  public:
    explicit FleetHealth(const Clock& clock, HealthThresholds thresholds = {});

    void SetThresholds(const HealthThresholds& thresholds);
    HealthThresholds Thresholds() const;

    void OnPresence(PresenceEvent event, const Info& record) override;
    // Takes in table records (a copy, or the records a caller reads with the table locked),
    // for what events do not carry: projectors found before the model subscribed, and a
    // freshness reset made without telling (the list's "refresh all").
    void Update(const std::vector<Info>& records);
    // Locks the table itself; not to be called with the table locked.
    void Update(ProjectorTable& table);
    // A model reply read elsewhere (a settings dialog, the command-line tool).
    void RecordModel(const std::string& mac, const std::string& modelCode);

    // Every projector in first-seen order, with thresholds evaluated now.
    std::vector<ProjectorHealth> Snapshot() const;
    std::optional<ProjectorHealth> Find(const std::string& mac) const;
    FleetCounts Counts() const { return CountFleet(Snapshot()); }

  private:
    struct Entry {
        ProjectorHealth health;
        bool dropped = false;      // freshness below the list's threshold
        bool pollFailing = false;  // the last info request came back empty
        uint32_t pollTick = 0;     // of the last stored info reply taken in
    };

    Entry& EntryFor(const std::string& mac);
    void TakeRecord(Entry& entry, const Info& record, int64_t now, bool fromPoll);
    static void MarkSilent(Entry& entry, int64_t now);
    ProjectorHealth Evaluate(const Entry& entry, int64_t now) const;

    const Clock& clock_;
    mutable std::mutex mutex_;
    HealthThresholds thresholds_;
    std::vector<Entry> entries_;
    std::unordered_map<std::string, size_t> index_;
};

}  // namespace vistrel
