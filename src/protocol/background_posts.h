// Requests sent without waiting for their reply: the "set=network" record, after which the
// projector moves and its answer (if any) no longer matters. Each request runs on a thread
// of its own, so neither the GUI nor the request ring ever waits for it; CancelAll (and the
// destructor) abandons every transfer in flight and joins the threads.
#pragma once

#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "protocol/http_request.h"

namespace vistrel {

class BackgroundPosts {
  public:
    // The caller's own thread work, run in the background with the shared cancel token.
    using Job = std::function<void(const std::shared_ptr<CancelToken>& cancel)>;

    BackgroundPosts() = default;
    ~BackgroundPosts();
    BackgroundPosts(const BackgroundPosts&) = delete;
    BackgroundPosts& operator=(const BackgroundPosts&) = delete;

    // Posts `body` to `ip` and forgets the reply. False (nothing started) once cancelled.
    bool Post(const std::string& ip, const std::string& body, const HttpOptions& options);
    // Runs `job` on a background thread. False (not run) once cancelled.
    bool Run(Job job);

    // Abandons every transfer in flight and waits for the threads; later posts are refused.
    void CancelAll();
    bool Cancelled() const { return cancel_->IsCancelled(); }
    // Threads started and not yet finished.
    size_t Running() const;

  private:
    struct Worker {
        std::thread thread;
        std::atomic<bool> done{false};
    };
    void Reap();

    std::shared_ptr<CancelToken> cancel_ = std::make_shared<CancelToken>();
    mutable std::mutex mutex_;
    std::list<std::unique_ptr<Worker>> workers_;
};

}  // namespace vistrel
