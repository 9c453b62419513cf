// The fleet and the console as Prometheus metrics: one registry of the headless service,
// brought up to date from the fleet health model and the console's own counters just before
// each scrape, plus the outcome of every status poll as it happens. Projector series carry
// the labels mac, ip, name, group and model, cut to the widths the projector's records have;
// they are made afresh at each scrape from the last update, so a projector that has left the
// fleet, or changed its labels, leaves no series behind.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <optional>

#include <prometheus/collectable.h>
#include <prometheus/counter.h>
#include <prometheus/family.h>
#include <prometheus/gauge.h>
#include <prometheus/histogram.h>
#include <prometheus/registry.h>

#include "health/fleet_health.h"
#include "health/health_thresholds.h"
#include "protocol/records.h"

namespace vistrel::metrics {

// How one status poll ("query=info") ended.
enum class PollOutcome {
    kOk,         // a reply with "OK"
    kTimeout,    // a time limit passed with the projector connected
    kRefused,    // no reply: refused, unreachable, broken, or a reply too long to be one
    kMalformed,  // a reply without "OK"
};

// What the console knows besides the fleet, read at each scrape.
struct ConsoleReadings {
    uint64_t discoveryCycles = 0;  // cumulative
    uint64_t tasksFired = 0;       // cumulative
    uint64_t storeWrites = 0;      // cumulative
    uint32_t ringDepth = 0;        // requests queued in the request ring
    size_t httpInFlight = 0;       // exchanges the HTTP engine has taken and not ended
    bool polling = false;          // this program polls the fleet (no window has it)
    HealthThresholds thresholds;
};

// Label widths: those of the fields the values come from.
inline constexpr size_t kMacLabelWidth = 12;
inline constexpr size_t kIpLabelWidth = 15;
inline constexpr size_t kNameLabelWidth = 32;
inline constexpr size_t kModelLabelWidth = 8;
inline constexpr size_t kFirmwareLabelWidth = 4;

// A projector's bytes as a label value: at most `width` bytes of it, as UTF-8 (a legacy
// 8-bit text is converted), so that no projector can make a label long or invalid.
std::string LabelText(std::string_view bytes, size_t width);

class FleetMetrics final : public prometheus::Collectable {
  public:
    explicit FleetMetrics(const std::string& version);
    ~FleetMetrics() override;
    FleetMetrics(const FleetMetrics&) = delete;
    FleetMetrics& operator=(const FleetMetrics&) = delete;

    // Thread-safe; called as each poll ends.
    void RecordPoll(PollOutcome outcome, std::chrono::duration<double> took);

    // Brings every series up to date. `records` supply names and groups (by mac); a projector
    // of `fleet` without a record has them empty. `now` in Clock::Now seconds. Thread-safe.
    void Update(const std::vector<ProjectorHealth>& fleet, const std::vector<Info>& records,
                const ConsoleReadings& console, int64_t now);

    // The console's series and, made from the last update, those of every projector in it.
    std::vector<prometheus::MetricFamily> Collect() const override;

    // Projectors with series now.
    size_t Projectors() const;

  private:
    // One projector's values, kept between an update and the scrapes that follow it; its
    // series are made at each scrape, so none outlives the projector's leaving.
    struct Row {
        std::string mac, ip, name, group, model, firmware;
        bool up = false;
        std::string power;  // "on", "standby", "off" or empty
        std::optional<double> lampSeconds;
        std::optional<double> ageSeconds;
    };
    static void Advance(prometheus::Counter& counter, uint64_t& last, uint64_t now);

    std::shared_ptr<prometheus::Registry> registry_;

    prometheus::Family<prometheus::Counter>& polls_;
    prometheus::Family<prometheus::Histogram>& pollDuration_;
    prometheus::Counter* pollCount_[4];
    prometheus::Histogram& pollSeconds_;

    prometheus::Counter& discoveryCycles_;
    prometheus::Counter& tasksFired_;
    prometheus::Counter& storeWrites_;
    prometheus::Gauge& ringDepth_;
    prometheus::Gauge& httpInFlight_;
    prometheus::Gauge& polling_;
    prometheus::Gauge& projectors_;
    prometheus::Gauge& lampWarning_;
    prometheus::Gauge& lampCritical_;
    prometheus::Gauge& notAnswering_;

    mutable std::mutex mutex_;
    uint64_t lastDiscoveryCycles_ = 0;
    uint64_t lastTasksFired_ = 0;
    uint64_t lastStoreWrites_ = 0;
    std::vector<Row> rows_;
};

}  // namespace vistrel::metrics
