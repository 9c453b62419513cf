// One event-driven HTTP engine: a single thread drives every exchange the console has in
// flight on one curl multi handle, so waiting for a slow or hung projector costs no thread.
// Batches, the polling and the request ring all post through it; stopping it cancels every
// transfer at once.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "protocol/http_request.h"
#include "protocol/thread_starter.h"

namespace vistrel {

struct HttpEngineOptions {
    // Limits of every exchange (connect, whole exchange, reply cap) and the port.
    HttpOptions http{};
    // Transfers connected at once; more wait their turn. 0: DefaultMaxTransfers().
    size_t maxTransfers = 0;
    ThreadStarter threadStarter;
    // Called on the posting thread for every exchange, before the engine takes it; for
    // checks in tests and soaks (for example, that no table lock is held).
    std::function<void(const std::string& ip, const std::string& body)> onPost;
};

// Half of the descriptors the process may open, between 16 and 1024: the rest stays free
// for the discovery socket, the store, the window system and the simulator in tests.
size_t DefaultMaxTransfers();

// How one exchange ended.
struct ExchangeEnd {
    // The reply, empty on any failure (refused, time limit, oversized, cancelled, unusable
    // address, engine stopped or without a thread).
    std::string reply;
    // Failed because a time limit passed with the projector connected (or the whole
    // exchange's limit passed while connecting). Judged from the transfer itself, so time
    // spent waiting behind other exchanges to the same address never counts.
    bool timedOut = false;
};

class HttpEngine {
  public:
    using Done = std::function<void(std::string reply)>;
    using Completion = std::function<void(ExchangeEnd end)>;

    explicit HttpEngine(HttpEngineOptions options = {});
    ~HttpEngine();  // Stop()
    HttpEngine(const HttpEngine&) = delete;
    HttpEngine& operator=(const HttpEngine&) = delete;

    // Posts `body` to http://ip/tgi/return.tgi as CXHttpRequest does and calls `done`
    // exactly once. Exchanges with one address run one at a time, in the order posted.
    // `done` runs on the engine's thread and must not block; it may post again. When the
    // engine cannot take the exchange (stopped, no thread, unusable address) `done` runs at
    // once on the calling thread. Cancelling `cancel` ends the exchange promptly, whether it
    // is connected or still waiting. Thread-safe.
    void Post(const std::string& ip, const std::string& body, Done done,
              std::shared_ptr<CancelToken> cancel = nullptr);
    // The same exchange; `done` also learns whether it ended on a time limit.
    void PostExchange(const std::string& ip, const std::string& body, Completion done,
                      std::shared_ptr<CancelToken> cancel = nullptr);

    // Cancels every exchange (each `done` gets an empty reply) and ends the thread; later
    // posts fail at once. Returns within milliseconds. From inside a `done` it returns at
    // once and the remaining replies follow when that `done` has returned.
    void Stop();

    const HttpOptions& Http() const { return options_.http; }
    size_t MaxTransfers() const { return maxTransfers_; }
    // Most exchanges connected at once so far.
    size_t PeakTransfers() const;
    // Exchanges taken and not yet ended (connected or waiting their turn).
    size_t InFlight() const { return inFlight_->load(std::memory_order_relaxed); }
    // Whether the engine's thread runs (it starts with the first post).
    bool HasThread() const;

  private:
    struct Transfer;
    struct TokenWatch;
    struct Loop;

    bool EnsureThreadLocked();
    static void Run(Loop& loop);

    HttpEngineOptions options_;
    size_t maxTransfers_;
    std::shared_ptr<Loop> loop_;
    // Shared with the completions, which may run after the engine has gone.
    std::shared_ptr<std::atomic<size_t>> inFlight_ = std::make_shared<std::atomic<size_t>>(0);
    mutable std::mutex mutex_;
    std::thread thread_;
    bool stopped_ = false;
};

// The request ring's and the CLI's blocking form: posts through `engine` and waits for the
// reply. Cancelling `cancel` ends the wait promptly.
bool SendThrough(HttpEngine& engine, const std::string& ip, const std::string& body,
                 std::string& reply, const std::shared_ptr<CancelToken>& cancel);

}  // namespace vistrel
