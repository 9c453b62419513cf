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

    // The same, and `sent` runs once as the request goes out (after any wait in the
    // transport), before `done`, so a rhythm can be counted from the moment the projector was
    // asked. `sent` may only take note. The default: `sent` at once, then PostAsync.
    using Sent = std::function<void()>;
    virtual void PostAsyncSent(const std::string& ip, const std::string& body,
                               const std::shared_ptr<CancelToken>& cancel, Sent sent, Done done) {
        if (sent)
            sent();
        PostAsync(ip, body, cancel, std::move(done));
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
    void PostAsyncSent(const std::string& ip, const std::string& body,
                       const std::shared_ptr<CancelToken>& cancel, Sent sent, Done done) override;

  private:
    std::shared_ptr<HttpEngine> engine_;
};

}  // namespace vistrel
