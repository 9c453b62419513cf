// The headless service as an exporter: a fleet health model fed by the console's presence
// events, the status polling that keeps it current (the window's polling, run while this
// program holds the projectors), the metrics of the fleet and of the console's own work, and
// the endpoint that serves them. The service tells it what it does (discovery cycles, tasks
// fired, whether it holds the projectors); the rest is read from the console's parts at each
// scrape.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "health/fleet_health.h"
#include "metrics/fleet_metrics.h"
#include "metrics/metrics_endpoint.h"
#include "monitor/poll_transport.h"
#include "monitor/status_poller.h"
#include "protocol/console.h"
#include "protocol/http_engine.h"
#include "protocol/request_ring.h"
#include "store/reg_store.h"

namespace vistrel::metrics {

class ServiceExporter {
  public:
    // Subscribes a health model to `console`'s presence events. `store` gives the health
    // thresholds and its write count; `ring` and `engine` their load; the polling posts
    // through `engine`. All must outlive this.
    ServiceExporter(Console& console, RegStore& store, const RequestRing& ring,
                    std::shared_ptr<HttpEngine> engine, const std::string& version,
                    PollerOptions pollerOptions = {});
    ~ServiceExporter();  // stops serving, then polling
    ServiceExporter(const ServiceExporter&) = delete;
    ServiceExporter& operator=(const ServiceExporter&) = delete;

    // Starts the endpoint; false, with the reason in `error`, when it cannot be had.
    bool Serve(const ListenAddress& where, std::string* error);
    uint16_t Port() const { return endpoint_ ? endpoint_->Port() : 0; }

    // Whether this program holds the projectors (the schedule role and the discovery port):
    // polls while it does, as the window does while it has them; one owner at a time.
    void Watch(bool holding);
    // Stops polling for good (before the ring and the engine stop).
    void StopPolling();

    void CountDiscoveryCycle() { discoveryCycles_.fetch_add(1, std::memory_order_relaxed); }
    void CountTaskFired() { tasksFired_.fetch_add(1, std::memory_order_relaxed); }
    // Reads the stored thresholds again (the window may have changed them). Not thread-safe
    // with other users of the store: call it from the store's thread.
    void ReloadThresholds();

    // Brings the metrics up to date; the endpoint calls it before each scrape.
    void Refresh();
    FleetMetrics& Metrics() { return *metrics_; }
    FleetHealth& Health() { return *health_; }

  private:
    Console& console_;
    RegStore& store_;
    const RequestRing& ring_;
    std::shared_ptr<HttpEngine> engine_;
    std::shared_ptr<FleetHealth> health_;
    std::shared_ptr<FleetMetrics> metrics_;
    StatusPoller poller_;
    std::atomic<uint64_t> discoveryCycles_{0};
    std::atomic<uint64_t> tasksFired_{0};
    std::atomic<bool> polling_{false};
    std::unique_ptr<MetricsEndpoint> endpoint_;  // last: it goes first
};

}  // namespace vistrel::metrics
