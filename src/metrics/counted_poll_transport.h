// The polling's HTTP transport, counting how each status poll ends and how long it takes.
// Exchanges go through the console's engine exactly as without it.
#pragma once

#include <memory>
#include <string>

#include "metrics/fleet_metrics.h"
#include "monitor/poll_transport.h"
#include "protocol/http_engine.h"

namespace vistrel::metrics {

PollOutcome ClassifyInfoReply(const ExchangeEnd& end);

class CountedPollTransport final : public PollTransport {
  public:
    CountedPollTransport(std::shared_ptr<HttpEngine> engine, std::shared_ptr<FleetMetrics> metrics);

    std::string Post(const std::string& ip, const std::string& body,
                     const std::shared_ptr<CancelToken>& cancel) override;
    void PostAsync(const std::string& ip, const std::string& body,
                   const std::shared_ptr<CancelToken>& cancel, Done done) override;

  private:
    std::shared_ptr<HttpEngine> engine_;
    std::shared_ptr<FleetMetrics> metrics_;
};

}  // namespace vistrel::metrics
