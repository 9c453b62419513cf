#include "metrics/fleet_metrics.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "protocol/text_encoding.h"
#include "protocol/wire_fields.h"

namespace vistrel::metrics {

namespace {

using prometheus::BuildCounter;
using prometheus::BuildGauge;
using prometheus::BuildHistogram;

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

FleetMetrics::FleetMetrics(const std::string& version)
    : registry_(std::make_shared<prometheus::Registry>()),
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

void FleetMetrics::Update(const std::vector<ProjectorHealth>& fleet,
                          const std::vector<Info>& records, const ConsoleReadings& console,
                          int64_t now) {
    std::unordered_map<std::string_view, const Info*> byMac;
    byMac.reserve(records.size());
    for (const Info& record : records)
        byMac.emplace(record.mac, &record);

    std::vector<Row> rows;
    rows.reserve(fleet.size());
    // Two projectors whose bytes read as the same text would make the same series twice,
    // which spoils the whole scrape: the first keeps them.
    std::unordered_set<std::string> labelSets;
    labelSets.reserve(fleet.size());
    for (const ProjectorHealth& health : fleet) {
        Row row;
        const auto record = byMac.find(health.mac);
        const Info* info = record == byMac.end() ? nullptr : record->second;
        row.mac = LabelText(health.mac, kMacLabelWidth);
        row.ip = LabelText(health.ip, kIpLabelWidth);
        row.name = info ? LabelText(info->projectorName, kNameLabelWidth) : std::string();
        row.group = info ? LabelText(info->groupName, kNameLabelWidth) : std::string();
        row.model = LabelText(health.model, kModelLabelWidth);
        std::string key = row.mac;
        for (const std::string* part : {&row.ip, &row.name, &row.group, &row.model}) {
            key += '\0';
            key += *part;
        }
        if (!labelSets.insert(std::move(key)).second)
            continue;
        row.firmware = LabelText(health.fwVersion, kFirmwareLabelWidth);
        row.up = !health.notAnswering;
        // The last reported power of a projector that no longer answers says nothing of now.
        if (!health.notAnswering) {
            if (health.power == "ON")
                row.power = "on";
            else if (health.power == "standby")
                row.power = "standby";
            else if (health.power == "OFF")
                row.power = "off";
        }
        if (health.lampHours)
            row.lampSeconds = *health.lampHours * kSecondsPerHour;
        if (health.lastAnswered)
            row.ageSeconds = static_cast<double>(std::max<int64_t>(now - *health.lastAnswered, 0));
        rows.push_back(std::move(row));
    }

    std::lock_guard lock(mutex_);
    rows_ = std::move(rows);
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

std::vector<prometheus::MetricFamily> FleetMetrics::Collect() const {
    using prometheus::ClientMetric;
    using prometheus::MetricFamily;
    using prometheus::MetricType;
    MetricFamily up{"vistrel_projector_up",
                    "1 while the projector answers within the not-answering threshold",
                    MetricType::Gauge,
                    {}};
    MetricFamily power{"vistrel_projector_power_state",
                       "1 for the projector's last reported power state; all 0 while unknown",
                       MetricType::Gauge,
                       {}};
    MetricFamily lamp{"vistrel_projector_lamp_usage_seconds",
                      "Lamp operating time the projector reports (whole hours), in seconds",
                      MetricType::Gauge,
                      {}};
    MetricFamily age{"vistrel_projector_last_answer_age_seconds",
                     "Seconds since the projector last answered a status poll",
                     MetricType::Gauge,
                     {}};
    MetricFamily firmware{"vistrel_projector_firmware_info",
                          "The projector's firmware version, as the label firmware",
                          MetricType::Gauge,
                          {}};
    {
        std::lock_guard lock(mutex_);
        up.metric.reserve(rows_.size());
        power.metric.reserve(rows_.size() * 3);
        lamp.metric.reserve(rows_.size());
        age.metric.reserve(rows_.size());
        firmware.metric.reserve(rows_.size());
        const auto add = [](MetricFamily& family, const Row& row, double value,
                            const char* extraName = nullptr, const std::string& extra = {}) {
            ClientMetric& metric = family.metric.emplace_back();
            metric.label.reserve(extraName ? 6 : 5);
            if (extraName && std::string_view(extraName) < "group")
                metric.label.push_back({extraName, extra});
            metric.label.push_back({"group", row.group});
            metric.label.push_back({"ip", row.ip});
            metric.label.push_back({"mac", row.mac});
            metric.label.push_back({"model", row.model});
            metric.label.push_back({"name", row.name});
            if (extraName && std::string_view(extraName) > "name")
                metric.label.push_back({extraName, extra});
            metric.gauge.value = value;
        };
        static const std::string kStates[] = {"on", "standby", "off"};
        for (const Row& row : rows_) {
            add(up, row, row.up ? 1 : 0);
            for (const std::string& state : kStates)
                add(power, row, row.power == state ? 1 : 0, "state", state);
            if (row.lampSeconds)
                add(lamp, row, *row.lampSeconds);
            if (row.ageSeconds)
                add(age, row, *row.ageSeconds);
            if (!row.firmware.empty())
                add(firmware, row, 1, "firmware", row.firmware);
        }
    }
    std::vector<MetricFamily> families = registry_->Collect();
    for (MetricFamily* family : {&up, &power, &lamp, &age, &firmware})
        families.push_back(std::move(*family));
    return families;
}

size_t FleetMetrics::Projectors() const {
    std::lock_guard lock(mutex_);
    return rows_.size();
}

}  // namespace vistrel::metrics
