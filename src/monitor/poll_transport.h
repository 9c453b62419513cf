// How the polling reaches a projector. The console posts through the HTTP engine; tests and
// benchmarks may substitute their own peer.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "protocol/http_engine.h"
#include "protocol/http_request.h"

namespace vistrel {

class PollTransport {
  public:
    using Done = std::function<void(std::string reply)>;

    virtual ~PollTransport() = default;
    // Posts `body` to the projector at `ip` and returns its reply, empty on failure. Must
    // give up promptly once `cancel` is cancelled.
    virtual std::string Post(const std::string& ip, const std::string& body,
                             const std::shared_ptr<CancelToken>& cancel) = 0;
    // The same exchange without waiting: `done` runs exactly once with the reply, on any
    // thread, possibly before PostAsync returns. The default runs Post on the caller's
    // thread.
    virtual void PostAsync(const std::string& ip, const std::string& body,
                           const std::shared_ptr<CancelToken>& cancel, Done done) {
        done(Post(ip, body, cancel));
    }
};

// Every exchange goes through the HTTP engine; no thread waits for a reply.
class HttpPollTransport final : public PollTransport {
  public:
    explicit HttpPollTransport(std::shared_ptr<HttpEngine> engine) : engine_(std::move(engine)) {}
    // An engine of its own with these limits.
    explicit HttpPollTransport(HttpOptions options);
    std::string Post(const std::string& ip, const std::string& body,
                     const std::shared_ptr<CancelToken>& cancel) override;
    void PostAsync(const std::string& ip, const std::string& body,
                   const std::shared_ptr<CancelToken>& cancel, Done done) override;

  private:
    std::shared_ptr<HttpEngine> engine_;
};

}  // namespace vistrel
