#include "health/fleet_health.h"

#include <cctype>

#include "monitor/discovery.h"

namespace vistrel {

namespace {

// The info reply's four lamp-hour characters; nullopt when they hold no digits (a standby
// reply, or one without "OK", leaves them empty).
std::optional<uint32_t> ParseLampHours(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    uint32_t hours = 0;
    size_t digits = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i, ++digits)
        hours = hours * 10 + static_cast<uint32_t>(text[i] - '0');
    if (digits == 0)
        return std::nullopt;
    return hours;
}

}  // namespace

std::string_view HealthStateName(HealthState state) {
    switch (state) {
        case HealthState::kOk:
            return "ok";
        case HealthState::kWarning:
            return "warning";
        case HealthState::kCritical:
            return "critical";
        case HealthState::kNotAnswering:
            return "not answering";
    }
    return "ok";
}

FleetCounts CountFleet(const std::vector<ProjectorHealth>& fleet) {
    FleetCounts counts;
    counts.listed = fleet.size();
    for (const ProjectorHealth& p : fleet) {
        counts.lampWarning += p.lampWarning;
        counts.lampCritical += p.lampCritical;
        if (p.notAnswering) {
            ++counts.notAnswering;
            continue;
        }
        counts.on += p.power == "ON";
        counts.standby += p.power == "standby";
        counts.off += p.power == "OFF";
    }
    return counts;
}

void EvaluateDeviceErrors(ProjectorHealth& h) {
    h.deviceWarning = h.deviceCritical = false;
    if (h.deviceErrors.size() != 6)
        return;
    constexpr size_t kLamp = 1, kFilter = 4;
    h.deviceCritical = h.deviceErrors[kLamp] == '2' || h.deviceErrors[kFilter] == '2';
    h.deviceWarning = !h.deviceCritical && h.deviceErrors.find_first_of("12") != std::string::npos;
}

std::string DeviceErrorsText(const ProjectorHealth& h) {
    static constexpr const char* kItems[] = {"fan",   "lamp",   "temperature",
                                             "cover", "filter", "other"};
    std::string text;
    for (size_t i = 0; i < h.deviceErrors.size() && i < std::size(kItems); ++i) {
        const char state = h.deviceErrors[i];
        if (state != '1' && state != '2')
            continue;
        text += (text.empty() ? "" : ", ") + std::string(kItems[i]) +
                (state == '2' ? " error" : " warning");
    }
    return text;
}

FleetHealth::FleetHealth(const Clock& clock, HealthThresholds thresholds)
    : clock_(clock), thresholds_(thresholds) {}

void FleetHealth::SetThresholds(const HealthThresholds& thresholds) {
    std::lock_guard lock(mutex_);
    thresholds_ = thresholds;
}

HealthThresholds FleetHealth::Thresholds() const {
    std::lock_guard lock(mutex_);
    return thresholds_;
}

FleetHealth::Entry& FleetHealth::EntryFor(const std::string& mac) {
    auto [it, added] = index_.try_emplace(mac, entries_.size());
    if (added) {
        entries_.emplace_back();
        entries_.back().health.mac = mac;
    }
    return entries_[it->second];
}

void FleetHealth::TakeRecord(Entry& entry, const Info& record, int64_t now, bool fromPoll) {
    ProjectorHealth& h = entry.health;
    // Events of polling and discovery come from different threads: a copy taken before the
    // last stored info reply must not bring back older status.
    const bool current =
        entry.pollTick == 0 || TickElapsed(record.pollTick, entry.pollTick) < uint32_t{1} << 31;
    if (current) {
        h.power = record.power;
        if (auto hours = ParseLampHours(record.lampHour))
            h.lampHours = hours;
        if (!record.fwVersion.empty())
            h.fwVersion = record.fwVersion;
        if (!record.pjlinkErrors.empty())
            h.deviceErrors = record.pjlinkErrors;
        // A stored info reply the events did not tell of: date it from its tick.
        if (record.pollTick != 0 && record.pollTick != entry.pollTick) {
            entry.pollTick = record.pollTick;
            entry.pollFailing = false;
            const int64_t ago = TickElapsed(clock_.TickMs(), record.pollTick) / 1000;
            h.lastAnswered = now - ago;
        }
    }
    // Address and presence are discovery's, told in order on its one thread; the polling's
    // copies of them may be older, and serve only for a projector not known yet.
    if (!fromPoll || h.ip.empty()) {
        h.ip = record.ip;
        h.present = record.freshness >= kListedFreshness;
        entry.dropped = !h.present;
    }
}

void FleetHealth::MarkSilent(Entry& entry, int64_t now) {
    if (!entry.dropped && !entry.pollFailing)
        entry.health.notAnsweringSince.reset();
    else if (!entry.health.notAnsweringSince)
        entry.health.notAnsweringSince = now;
}

void FleetHealth::OnPresence(PresenceEvent event, const Info& record) {
    const int64_t now = clock_.Now();
    std::lock_guard lock(mutex_);
    Entry& entry = EntryFor(record.mac);
    switch (event) {
        case PresenceEvent::kAnswered:
            entry.pollTick = record.pollTick;
            entry.pollFailing = false;
            entry.health.lastAnswered = now;
            break;
        case PresenceEvent::kPollFailed:
            entry.pollFailing = true;
            break;
        case PresenceEvent::kSeen:
        case PresenceEvent::kDropped:
            break;
    }
    const bool fromPoll = event == PresenceEvent::kAnswered || event == PresenceEvent::kPollFailed;
    TakeRecord(entry, record, now, fromPoll);
    MarkSilent(entry, now);
}

void FleetHealth::Update(const std::vector<Info>& records) {
    const int64_t now = clock_.Now();
    std::lock_guard lock(mutex_);
    for (const Info& record : records) {
        Entry& entry = EntryFor(record.mac);
        TakeRecord(entry, record, now, false);
        MarkSilent(entry, now);
    }
}

void FleetHealth::Update(ProjectorTable& table) {
    std::vector<Info> records;
    {
        auto guard = table.Lock();
        records = guard.Records();
    }
    Update(records);
}

void FleetHealth::RecordModel(const std::string& mac, const std::string& modelCode) {
    std::lock_guard lock(mutex_);
    EntryFor(mac).health.model = modelCode;
}

ProjectorHealth FleetHealth::Evaluate(const Entry& entry, int64_t now) const {
    ProjectorHealth h = entry.health;
    h.notAnswering = h.notAnsweringSince &&
                     now - *h.notAnsweringSince >= int64_t{thresholds_.notAnsweringSeconds};
    h.lampCritical = h.lampHours && *h.lampHours >= thresholds_.lampCriticalHours;
    h.lampWarning = !h.lampCritical && h.lampHours && *h.lampHours >= thresholds_.lampWarningHours;
    EvaluateDeviceErrors(h);
    if (h.notAnswering)
        h.state = HealthState::kNotAnswering;
    else if (h.lampCritical || h.deviceCritical)
        h.state = HealthState::kCritical;
    else if (h.lampWarning || h.deviceWarning)
        h.state = HealthState::kWarning;
    else
        h.state = HealthState::kOk;
    return h;
}

std::vector<ProjectorHealth> FleetHealth::Snapshot() const {
    const int64_t now = clock_.Now();
    std::lock_guard lock(mutex_);
    std::vector<ProjectorHealth> fleet;
    fleet.reserve(entries_.size());
    for (const Entry& entry : entries_)
        fleet.push_back(Evaluate(entry, now));
    return fleet;
}

std::optional<ProjectorHealth> FleetHealth::Find(const std::string& mac) const {
    const int64_t now = clock_.Now();
    std::lock_guard lock(mutex_);
    auto it = index_.find(mac);
    if (it == index_.end())
        return std::nullopt;
    return Evaluate(entries_[it->second], now);
}

}  // namespace vistrel
