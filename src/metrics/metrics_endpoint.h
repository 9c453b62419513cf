// The HTTP endpoint Prometheus scrapes: the library's pull exposer serving one collectable at
// /metrics, brought up to date just before each scrape. Read-only; binds loopback unless the
// operator names another address.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <prometheus/collectable.h>

namespace prometheus {
class Exposer;
}

namespace vistrel::metrics {

inline constexpr const char* kDefaultMetricsAddress = "127.0.0.1";

struct ListenAddress {
    std::string address = kDefaultMetricsAddress;
    uint16_t port = 0;

    std::string Text() const { return address + ":" + std::to_string(port); }
};

// "[ADDRESS:]PORT" with an IPv4 address and a port from 1 to 65535; nullopt and, in `error`,
// what is wrong otherwise.
std::optional<ListenAddress> ParseListenAddress(std::string_view text, std::string* error);

class MetricsEndpoint {
  public:
    // Called on the endpoint's thread before each scrape, one scrape at a time.
    using Refresh = std::function<void()>;

    // Serves what `metrics` collects at http://ADDRESS:PORT/metrics. Null, with the reason in
    // `error`, when the address cannot be had (a port in use, an address not on this machine).
    static std::unique_ptr<MetricsEndpoint> Start(const ListenAddress& where,
                                                  std::shared_ptr<prometheus::Collectable> metrics,
                                                  Refresh refresh, std::string* error);
    ~MetricsEndpoint();  // stops serving; no refresh runs after it returns
    MetricsEndpoint(const MetricsEndpoint&) = delete;
    MetricsEndpoint& operator=(const MetricsEndpoint&) = delete;

    // The port served (the one asked for).
    uint16_t Port() const { return port_; }

  private:
    class Source;
    MetricsEndpoint() = default;

    std::shared_ptr<Source> source_;
    std::unique_ptr<prometheus::Exposer> exposer_;
    uint16_t port_ = 0;
};

}  // namespace vistrel::metrics
