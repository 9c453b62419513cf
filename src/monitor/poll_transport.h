// How the polling thread reaches a projector. The console posts over HTTP; tests and
// benchmarks may substitute their own peer.
#pragma once

#include <memory>
#include <string>

#include "protocol/http_request.h"

namespace vistrel {

class PollTransport {
  public:
    virtual ~PollTransport() = default;
    // Posts `body` to the projector at `ip` and returns its reply, empty on failure. Called
    // from several polling lanes at once. Must give up promptly once `cancel` is cancelled.
    virtual std::string Post(const std::string& ip, const std::string& body,
                             const std::shared_ptr<CancelToken>& cancel) = 0;
};

// One CXHttpRequest per exchange, on the calling lane's thread.
class HttpPollTransport final : public PollTransport {
  public:
    explicit HttpPollTransport(HttpOptions options) : options_(options) {}
    std::string Post(const std::string& ip, const std::string& body,
                     const std::shared_ptr<CancelToken>& cancel) override;

  private:
    HttpOptions options_;
};

}  // namespace vistrel
