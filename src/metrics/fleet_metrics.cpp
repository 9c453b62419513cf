#include "metrics/fleet_metrics.h"

#include "protocol/text_encoding.h"
#include "protocol/wire_fields.h"

namespace vistrel::metrics {

namespace {

using prometheus::BuildCounter;
using prometheus::BuildGauge;
using prometheus::BuildHistogram;
using prometheus::Labels;

constexpr double kSecondsPerHour = 3600.0;

// From a LAN exchange of a few milliseconds to the exchange's own limit of several seconds.
const prometheus::Histogram::BucketBoundaries kPollBuckets = {0.005, 0.01, 0.025, 0.05, 0.1, 0.25,
                                                              0.5,   1.0,  2.5,   5.0,  10.0};

const char* OutcomeLabel(PollOutcome outcome) {
    switch (outcome) {
        case PollOutcome::kOk:
            return "ok";
        case PollOutcome::kTimeout:
            return "timeout";
        case PollOutcome::kRefused:
            return "refused";
        case PollOutcome::kMalformed:
            return "malformed";
    }
    return "refused";
}

}  // namespace

std::string LabelText(std::string_view bytes, size_t width) {
    return ProjectorTextAsUtf8(CutToWidth(bytes, width));
}

struct FleetMetrics::Tracked {
    Labels labels;
    prometheus::Gauge* up = nullptr;
    prometheus::Gauge* on = nullptr;
    prometheus::Gauge* standby = nullptr;
    prometheus::Gauge* off = nullptr;
    prometheus::Gauge* lamp = nullptr;      // while lamp hours are known
    prometheus::Gauge* age = nullptr;       // once it has answered
    prometheus::Gauge* firmware = nullptr;  // while a firmware version is known
    std::string firmwareText;
    bool seen = false;  // in the fleet at this update
};

FleetMetrics::FleetMetrics(const std::string& version)
    : registry_(std::make_shared<prometheus::Registry>()),
      up_(BuildGauge()
              .Name("vistrel_projector_up")
              .Help("1 while the projector answers within the not-answering threshold")
              .Register(*registry_)),
      power_(BuildGauge()
                 .Name("vistrel_projector_power_state")
                 .Help("1 for the projector's last reported power state; all 0 while unknown")
                 .Register(*registry_)),
      lamp_(BuildGauge()
                .Name("vistrel_projector_lamp_usage_seconds")
                .Help("Lamp operating time the projector reports (whole hours), in seconds")
                .Register(*registry_)),
      age_(BuildGauge()
               .Name("vistrel_projector_last_answer_age_seconds")
               .Help("Seconds since the projector last answered a status poll")
               .Register(*registry_)),
      firmware_(BuildGauge()
                    .Name("vistrel_projector_firmware_info")
                    .Help("The projector's firmware version, as the label firmware")
                    .Register(*registry_)),
      polls_(BuildCounter()
                 .Name("vistrel_polls_total")
                 .Help("Status polls of projectors, by outcome")
                 .Register(*registry_)),
      pollDuration_(BuildHistogram()
                        .Name("vistrel_poll_duration_seconds")
                        .Help("Time from posting a status poll to its end")
                        .Register(*registry_)),
      pollCount_{&polls_.Add({{"outcome", OutcomeLabel(PollOutcome::kOk)}}),
                 &polls_.Add({{"outcome", OutcomeLabel(PollOutcome::kTimeout)}}),
                 &polls_.Add({{"outcome", OutcomeLabel(PollOutcome::kRefused)}}),
                 &polls_.Add({{"outcome", OutcomeLabel(PollOutcome::kMalformed)}})},
      pollSeconds_(pollDuration_.Add({}, kPollBuckets)),
      discoveryCycles_(BuildCounter()
                           .Name("vistrel_discovery_cycles_total")
                           .Help("Discovery cycles run")
                           .Register(*registry_)
                           .Add({})),
      tasksFired_(BuildCounter()
                      .Name("vistrel_schedule_tasks_fired_total")
                      .Help("Timed tasks that fell due and were sent")
                      .Register(*registry_)
                      .Add({})),
      storeWrites_(BuildCounter()
                       .Name("vistrel_store_writes_total")
                       .Help("Writes of the settings store")
                       .Register(*registry_)
                       .Add({})),
      ringDepth_(BuildGauge()
                     .Name("vistrel_request_ring_depth")
                     .Help("Requests waiting in the request ring")
                     .Register(*registry_)
                     .Add({})),
      httpInFlight_(BuildGauge()
                        .Name("vistrel_http_exchanges_in_flight")
                        .Help("HTTP exchanges with projectors taken and not yet ended")
                        .Register(*registry_)
                        .Add({})),
      polling_(BuildGauge()
                   .Name("vistrel_polling_active")
                   .Help("1 while this program watches the fleet; 0 while a console window has it")
                   .Register(*registry_)
                   .Add({})),
      projectors_(BuildGauge()
                      .Name("vistrel_projectors")
                      .Help("Projectors the console has seen since it started")
                      .Register(*registry_)
                      .Add({})),
      lampWarning_(BuildGauge()
                       .Name("vistrel_lamp_warning_threshold_seconds")
                       .Help("Lamp operating time from which a lamp needs attention")
                       .Register(*registry_)
                       .Add({})),
      lampCritical_(BuildGauge()
                        .Name("vistrel_lamp_critical_threshold_seconds")
                        .Help("Lamp operating time from which a lamp is critical")
                        .Register(*registry_)
                        .Add({})),
      notAnswering_(BuildGauge()
                        .Name("vistrel_not_answering_threshold_seconds")
                        .Help("Silence after which a projector counts as not answering")
                        .Register(*registry_)
                        .Add({})) {
    BuildGauge()
        .Name("vistrel_build_info")
        .Help("The exporting program's version, as the label version")
        .Register(*registry_)
        .Add({{"version", version}})
        .Set(1);
}

FleetMetrics::~FleetMetrics() = default;

void FleetMetrics::RecordPoll(PollOutcome outcome, std::chrono::duration<double> took) {
    pollCount_[static_cast<int>(outcome)]->Increment();
    pollSeconds_.Observe(took.count());
}

void FleetMetrics::Advance(prometheus::Counter& counter, uint64_t& last, uint64_t now) {
    // A source that started again from zero resumes from there; the counter never goes back.
    if (now > last)
        counter.Increment(static_cast<double>(now - last));
    last = now;
}

void FleetMetrics::Drop(Tracked& tracked) {
    if (!tracked.up)
        return;
    up_.Remove(tracked.up);
    power_.Remove(tracked.on);
    power_.Remove(tracked.standby);
    power_.Remove(tracked.off);
    if (tracked.lamp)
        lamp_.Remove(tracked.lamp);
    if (tracked.age)
        age_.Remove(tracked.age);
    if (tracked.firmware)
        firmware_.Remove(tracked.firmware);
    tracked = Tracked{};
}

bool FleetMetrics::Track(Tracked& tracked, const ProjectorHealth& health, const Info* record,
                         int64_t now) {
    Labels labels = {
        {"mac", LabelText(health.mac, kMacLabelWidth)},
        {"ip", LabelText(health.ip, kIpLabelWidth)},
        {"name", record ? LabelText(record->projectorName, kNameLabelWidth) : std::string()},
        {"group", record ? LabelText(record->groupName, kNameLabelWidth) : std::string()},
        {"model", LabelText(health.model, kModelLabelWidth)},
    };
    // New labels are a new series: the old ones go, so that none stays behind unchanging.
    if (tracked.up && tracked.labels != labels)
        Drop(tracked);
    if (!tracked.up) {
        // Two projectors whose bytes read as the same text would share series, and one's
        // leaving would take the other's: the first keeps them.
        if (up_.Has(labels))
            return false;
        tracked.labels = labels;
        tracked.up = &up_.Add(labels);
        const auto withState = [&labels](const char* state) {
            Labels l = labels;
            l.emplace("state", state);
            return l;
        };
        tracked.on = &power_.Add(withState("on"));
        tracked.standby = &power_.Add(withState("standby"));
        tracked.off = &power_.Add(withState("off"));
    }
    tracked.seen = true;

    tracked.up->Set(health.notAnswering ? 0 : 1);
    // The last reported power of a projector that no longer answers says nothing of now.
    const std::string power = health.notAnswering ? std::string() : health.power;
    tracked.on->Set(power == "ON" ? 1 : 0);
    tracked.standby->Set(power == "standby" ? 1 : 0);
    tracked.off->Set(power == "OFF" ? 1 : 0);

    if (health.lampHours) {
        if (!tracked.lamp)
            tracked.lamp = &lamp_.Add(labels);
        tracked.lamp->Set(*health.lampHours * kSecondsPerHour);
    } else if (tracked.lamp) {
        lamp_.Remove(tracked.lamp);
        tracked.lamp = nullptr;
    }

    if (health.lastAnswered) {
        if (!tracked.age)
            tracked.age = &age_.Add(labels);
        tracked.age->Set(static_cast<double>(std::max<int64_t>(now - *health.lastAnswered, 0)));
    }

    const std::string firmware = LabelText(health.fwVersion, kFirmwareLabelWidth);
    if (tracked.firmware && firmware != tracked.firmwareText) {
        firmware_.Remove(tracked.firmware);
        tracked.firmware = nullptr;
    }
    if (!tracked.firmware && !firmware.empty()) {
        Labels l = labels;
        l.emplace("firmware", firmware);
        tracked.firmware = &firmware_.Add(l);
        tracked.firmware->Set(1);
        tracked.firmwareText = firmware;
    }
    return true;
}

void FleetMetrics::Update(const std::vector<ProjectorHealth>& fleet,
                          const std::vector<Info>& records, const ConsoleReadings& console,
                          int64_t now) {
    std::unordered_map<std::string_view, const Info*> byMac;
    byMac.reserve(records.size());
    for (const Info& record : records)
        byMac.emplace(record.mac, &record);

    std::lock_guard lock(mutex_);
    for (auto& [mac, tracked] : tracked_)
        tracked->seen = false;
    for (const ProjectorHealth& health : fleet) {
        auto& tracked = tracked_[health.mac];
        if (!tracked)
            tracked = std::make_unique<Tracked>();
        const auto record = byMac.find(health.mac);
        Track(*tracked, health, record == byMac.end() ? nullptr : record->second, now);
    }
    // A projector no longer in the fleet takes its series with it.
    for (auto it = tracked_.begin(); it != tracked_.end();) {
        if (it->second->seen) {
            ++it;
            continue;
        }
        Drop(*it->second);
        it = tracked_.erase(it);
    }

    Advance(discoveryCycles_, lastDiscoveryCycles_, console.discoveryCycles);
    Advance(tasksFired_, lastTasksFired_, console.tasksFired);
    Advance(storeWrites_, lastStoreWrites_, console.storeWrites);
    ringDepth_.Set(console.ringDepth);
    httpInFlight_.Set(static_cast<double>(console.httpInFlight));
    polling_.Set(console.polling ? 1 : 0);
    projectors_.Set(static_cast<double>(fleet.size()));
    lampWarning_.Set(console.thresholds.lampWarningHours * kSecondsPerHour);
    lampCritical_.Set(console.thresholds.lampCriticalHours * kSecondsPerHour);
    notAnswering_.Set(console.thresholds.notAnsweringSeconds);
}

size_t FleetMetrics::Projectors() const {
    std::lock_guard lock(mutex_);
    return tracked_.size();
}

}  // namespace vistrel::metrics
