#include "metrics/metrics_endpoint.h"

#include <arpa/inet.h>

#include <charconv>
#include <exception>
#include <mutex>
#include <vector>

#include <prometheus/collectable.h>
#include <prometheus/exposer.h>
#include <prometheus/metric_family.h>

namespace vistrel::metrics {

namespace {

std::string Quoted(std::string_view text) {
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted += '\'';
    quoted += text;
    quoted += '\'';
    return quoted;
}

}  // namespace

std::optional<ListenAddress> ParseListenAddress(std::string_view text, std::string* error) {
    const auto fail = [&](const std::string& why) -> std::optional<ListenAddress> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    ListenAddress where;
    std::string_view portText = text;
    if (const size_t colon = text.rfind(':'); colon != std::string_view::npos) {
        where.address = std::string(text.substr(0, colon));
        portText = text.substr(colon + 1);
        in_addr parsed{};
        if (::inet_pton(AF_INET, where.address.c_str(), &parsed) != 1)
            return fail(Quoted(where.address) + " is not an IPv4 address such as 127.0.0.1");
    }
    unsigned port = 0;
    const auto [end, status] =
        std::from_chars(portText.data(), portText.data() + portText.size(), port);
    if (portText.empty() || status != std::errc() || end != portText.data() + portText.size() ||
        port < 1 || port > 65535) {
        return fail(Quoted(portText) + " is not a port from 1 to 65535");
    }
    where.port = static_cast<uint16_t>(port);
    return where;
}

// The metrics as the exposer sees them: refreshed first, one scrape at a time.
class MetricsEndpoint::Source final : public prometheus::Collectable {
  public:
    Source(std::shared_ptr<prometheus::Collectable> metrics, Refresh refresh)
        : metrics_(std::move(metrics)), refresh_(std::move(refresh)) {}
    std::vector<prometheus::MetricFamily> Collect() const override {
        std::lock_guard lock(mutex_);
        if (refresh_)
            refresh_();
        return metrics_->Collect();
    }

  private:
    std::shared_ptr<prometheus::Collectable> metrics_;
    Refresh refresh_;
    mutable std::mutex mutex_;
};

std::unique_ptr<MetricsEndpoint> MetricsEndpoint::Start(
    const ListenAddress& where, std::shared_ptr<prometheus::Collectable> metrics, Refresh refresh,
    std::string* error) {
    std::unique_ptr<MetricsEndpoint> endpoint(new MetricsEndpoint());
    endpoint->source_ = std::make_shared<Source>(std::move(metrics), std::move(refresh));
    endpoint->port_ = where.port;
    try {
        // Two threads: a scrape in progress never keeps a second one waiting on a connection.
        endpoint->exposer_ = std::make_unique<prometheus::Exposer>(where.Text(), 2);
    } catch (const std::exception&) {
        if (error) {
            *error = "cannot serve metrics on " + where.Text() +
                     ": the port is in use or the address is not one of this machine's";
        }
        return nullptr;
    }
    endpoint->exposer_->RegisterCollectable(endpoint->source_);
    return endpoint;
}

MetricsEndpoint::~MetricsEndpoint() {
    exposer_.reset();  // joins the server's threads: no scrape is left running
}

}  // namespace vistrel::metrics
