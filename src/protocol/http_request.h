// One synchronous HTTP POST exchange with one projector.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace vistrel {

// Limits of one exchange. A projector that never answers must not hold a thread for
// longer than the request queue's 30-second watchdog.
struct HttpOptions {
    uint16_t port = 80;
    // A LAN connect takes milliseconds; 3 s still covers one lost SYN (retried after 1 s).
    int connectTimeoutMs = 3000;
    // Room for a projector that is slow to carry out a command, yet under a third of the
    // 30-second watchdog, so a hung projector never gets a worker restarted.
    int totalTimeoutMs = 8000;
    // Replies are a few hundred bytes; a longer one is not a projector's and is refused
    // whole rather than cut, so a parser never sees a plausible but truncated record.
    size_t maxReplyBytes = 64 * 1024;
};

// Lets another thread abandon transfers in flight. Once cancelled, a token stays
// cancelled: every Send that uses it fails promptly, now or later. Thread-safe.
class CancelToken {
  public:
    void Cancel();
    bool IsCancelled() const { return cancelled_.load(std::memory_order_acquire); }

    // Used by the transport: a wake-up to call, once, when the token is cancelled. When the
    // token is already cancelled, `fn` runs at once, before Register returns. Returns an id for
    // Unregister. The callback may run on any thread; it must not call back into the token.
    using WakeFn = void (*)(void* context);
    uint64_t Register(WakeFn fn, void* context);
    // After Unregister returns, the callback is not running and will never run again, so
    // its context may be destroyed.
    void Unregister(uint64_t id);

  private:
    struct Waiter {
        WakeFn fn;
        void* context;
    };
    std::atomic<bool> cancelled_{false};
    std::mutex mutex_;
    // By id: a token shared by many transfers unregisters each at no search.
    std::unordered_map<uint64_t, Waiter> waiters_;
    uint64_t nextId_ = 1;
};

class CXHttpRequest {
  public:
    CXHttpRequest(std::string host, std::string body, HttpOptions options = {},
                  std::shared_ptr<CancelToken> cancel = nullptr);
    virtual ~CXHttpRequest();
    CXHttpRequest(const CXHttpRequest&) = delete;
    CXHttpRequest& operator=(const CXHttpRequest&) = delete;

    // Posts `body`, byte for byte, to http://host/tgi/return.tgi (":port" added when the
    // port is not 80). The reply is the bytes the server returned, status ignored, with no
    // charset conversion; empty on any failure (refused, time limit, oversized reply,
    // cancelled, a method that is not plain text, a host that is not one IPv4 host address:
    // see IsUsableHostAddress). Returns true when the reply is non-empty. An empty host
    // returns false at once and leaves `reply` as it was.
    bool Send(const std::string& method, std::string& reply);

  private:
    std::string body;
    std::string host;
    HttpOptions options_;
    std::shared_ptr<CancelToken> cancel_;
};

}  // namespace vistrel
