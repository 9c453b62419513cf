#include "protocol/http_request.h"

#include "protocol/http_exchange.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <utility>

namespace vistrel {

void CancelToken::Cancel() {
    // The flag changes under the lock so that each waiter is woken exactly once: either
    // here, or by Register when it comes later. Wake-ups run under the lock so that
    // Unregister cannot return while one is running.
    std::lock_guard<std::mutex> lock(mutex_);
    if (cancelled_.exchange(true, std::memory_order_acq_rel)) {
        return;
    }
    for (const auto& [id, waiter] : waiters_) {
        waiter.fn(waiter.context);
    }
}

uint64_t CancelToken::Register(WakeFn fn, void* context) {
    std::lock_guard<std::mutex> lock(mutex_);
    const uint64_t id = nextId_++;
    if (IsCancelled()) {
        fn(context);
    } else {
        waiters_.emplace(id, Waiter{fn, context});
    }
    return id;
}

void CancelToken::Unregister(uint64_t id) {
    std::lock_guard<std::mutex> lock(mutex_);
    waiters_.erase(id);
}

namespace {

// Longest single wait inside the transfer loop. Cancellation and curl's own timers wake
// the loop sooner; this only bounds the time between checks of our own deadline.
constexpr int kPollSliceMs = 200;
// Slack past the total time limit before the loop gives up on its own, should curl's
// timer ever fail to end the transfer.
constexpr int kDeadlineSlackMs = 1000;

void WakeMulti(void* context) {
    curl_multi_wakeup(static_cast<CURLM*>(context));
}

struct MultiHandle {
    CURLM* handle = curl_multi_init();
    ~MultiHandle() {
        if (handle != nullptr) {
            curl_multi_cleanup(handle);
        }
    }
};

// Keeps the easy handle attached to the multi handle for the duration of the exchange.
struct Attachment {
    CURLM* multi;
    CURL* easy;
    bool attached = false;
    Attachment(CURLM* m, CURL* e) : multi(m), easy(e) {
        attached = curl_multi_add_handle(multi, easy) == CURLM_OK;
    }
    ~Attachment() {
        if (attached) {
            curl_multi_remove_handle(multi, easy);
        }
    }
};

// Wake-up registration; must end before the multi handle it points to is cleaned up.
struct Registration {
    CancelToken* token = nullptr;
    uint64_t id = 0;
    Registration(CancelToken* t, CURLM* multi) : token(t) {
        if (token != nullptr) {
            id = token->Register(&WakeMulti, multi);
        }
    }
    ~Registration() {
        if (token != nullptr) {
            token->Unregister(id);
        }
    }
};

// Runs one transfer to its end and returns curl's result for it.
CURLcode Transfer(CURLM* multi, CURL* easy, CancelToken* token, int totalTimeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline =
        Clock::now() + std::chrono::milliseconds(std::max(totalTimeoutMs, 0) + kDeadlineSlackMs);
    Registration registration(token, multi);
    for (;;) {
        if (token != nullptr && token->IsCancelled()) {
            return CURLE_ABORTED_BY_CALLBACK;
        }
        int running = 0;
        if (curl_multi_perform(multi, &running) != CURLM_OK) {
            return CURLE_ABORTED_BY_CALLBACK;
        }
        if (running == 0) {
            break;
        }
        if (Clock::now() >= deadline) {
            return CURLE_ABORTED_BY_CALLBACK;
        }
        if (curl_multi_poll(multi, nullptr, 0, kPollSliceMs, nullptr) != CURLM_OK) {
            return CURLE_ABORTED_BY_CALLBACK;
        }
    }
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == easy) {
            return message->data.result;
        }
    }
    return CURLE_ABORTED_BY_CALLBACK;
}

}  // namespace

CXHttpRequest::CXHttpRequest(std::string host, std::string body, HttpOptions options,
                             std::shared_ptr<CancelToken> cancel)
    : body(std::move(body)), host(std::move(host)), options_(options), cancel_(std::move(cancel)) {}

CXHttpRequest::~CXHttpRequest() = default;

bool CXHttpRequest::Send(const std::string& method, std::string& reply) {
    if (host.empty()) {
        return false;
    }
    reply.clear();
    if (cancel_ != nullptr && cancel_->IsCancelled()) {
        return false;
    }
    HttpExchange exchange;
    MultiHandle multi;
    if (multi.handle == nullptr || !exchange.Prepare(host, body, method, options_)) {
        return false;
    }
    Attachment attachment(multi.handle, exchange.Handle());
    if (!attachment.attached) {
        return false;
    }
    const CURLcode result =
        Transfer(multi.handle, exchange.Handle(), cancel_.get(), options_.totalTimeoutMs);
    reply = exchange.TakeReply(result);
    return !reply.empty();
}

}  // namespace vistrel
