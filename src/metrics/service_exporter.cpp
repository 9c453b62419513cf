#include "metrics/service_exporter.h"

#include <vector>

#include "health/health_thresholds.h"
#include "metrics/counted_poll_transport.h"

namespace vistrel::metrics {

ServiceExporter::ServiceExporter(Console& console, RegStore& store, const RequestRing& ring,
                                 std::shared_ptr<HttpEngine> engine, const std::string& version,
                                 PollerOptions pollerOptions)
    : console_(console),
      store_(store),
      ring_(ring),
      engine_(std::move(engine)),
      health_(std::make_shared<FleetHealth>(console.clock, LoadHealthThresholds(store))),
      metrics_(std::make_shared<FleetMetrics>(version)),
      poller_(console, pollerOptions, std::make_shared<CountedPollTransport>(engine_, metrics_)) {
    console_.presence.Subscribe(health_);
}

ServiceExporter::~ServiceExporter() {
    endpoint_.reset();
    poller_.Stop();
}

void ServiceExporter::Watch(bool holding) {
    if (holding == polling_.load(std::memory_order_relaxed))
        return;
    polling_.store(holding, std::memory_order_relaxed);
    if (!holding) {
        poller_.Pause();
        return;
    }
    poller_.Resume();
    poller_.StartPolling();  // the first time; later calls do nothing
}

void ServiceExporter::StopPolling() {
    polling_.store(false, std::memory_order_relaxed);
    poller_.Stop();
}

bool ServiceExporter::Serve(const ListenAddress& where, std::string* error) {
    endpoint_ = MetricsEndpoint::Start(
        where, metrics_, [this] { Refresh(); }, error);
    return endpoint_ != nullptr;
}

void ServiceExporter::ReloadThresholds() {
    health_->SetThresholds(LoadHealthThresholds(store_));
}

void ServiceExporter::Refresh() {
    std::vector<Info> records;
    {
        auto table = console_.table.Lock();
        records = table.Records();
    }
    // Projectors found before any event told of them, and freshness changed without telling.
    health_->Update(records);
    ConsoleReadings readings;
    readings.discoveryCycles = discoveryCycles_.load(std::memory_order_relaxed);
    readings.tasksFired = tasksFired_.load(std::memory_order_relaxed);
    readings.storeWrites = store_.WriteCount();
    readings.ringDepth = (ring_.Head() - ring_.Tail()) & kRingMask;
    readings.httpInFlight = engine_->InFlight();
    readings.polling = polling_.load(std::memory_order_relaxed);
    readings.thresholds = health_->Thresholds();
    metrics_->Update(health_->Snapshot(), records, readings, console_.clock.Now());
}

}  // namespace vistrel::metrics
