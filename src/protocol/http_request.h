// One synchronous HTTP POST exchange with one projector.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vistrel {

// Limits of one exchange. A projector that never answers must not hold a thread for
// longer than the request queue's 30-second watchdog.
struct HttpOptions {
    uint16_t port = 80;
    int connectTimeoutMs = 3000;
    int totalTimeoutMs = 8000;
    size_t maxReplyBytes = 64 * 1024;
};

// Lets another thread abandon transfers in flight. Once cancelled, a token stays
// cancelled: every Send that uses it fails promptly, now or later.
class CancelToken {
public:
    void Cancel();
    bool IsCancelled() const { return cancelled_.load(std::memory_order_acquire); }

    // Used by the transport: a wake-up to call when the token is cancelled.
    // Returns an id for Unregister; the callback may run on any thread.
    using WakeFn = void (*)(void* context);
    uint64_t Register(WakeFn fn, void* context);
    void Unregister(uint64_t id);

private:
    struct Waiter {
        uint64_t id;
        WakeFn fn;
        void* context;
    };
    std::atomic<bool> cancelled_{false};
    std::mutex mutex_;
    std::vector<Waiter> waiters_;
    uint64_t nextId_ = 1;
};

class CXHttpRequest {
public:
    CXHttpRequest(std::string host, std::string body, HttpOptions options = {},
                  std::shared_ptr<CancelToken> cancel = nullptr);
    virtual ~CXHttpRequest();
    CXHttpRequest(const CXHttpRequest&) = delete;
    CXHttpRequest& operator=(const CXHttpRequest&) = delete;

    // Posts `body` to http://host/tgi/return.tgi. The reply is whatever text the server
    // returned, status ignored; empty on any failure. Returns true when the reply is
    // non-empty. An empty host returns false at once and leaves `reply` as it was.
    bool Send(const std::string& method, std::string& reply);

private:
    std::string body;
    std::string host;
    HttpOptions options_;
    std::shared_ptr<CancelToken> cancel_;
};

}  // namespace vistrel
