#include "protocol/http_request.h"

#include "protocol/host_address.h"

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
    for (const Waiter& waiter : waiters_) {
        waiter.fn(waiter.context);
    }
}

uint64_t CancelToken::Register(WakeFn fn, void* context) {
    std::lock_guard<std::mutex> lock(mutex_);
    const uint64_t id = nextId_++;
    if (IsCancelled()) {
        fn(context);
    } else {
        waiters_.push_back(Waiter{id, fn, context});
    }
    return id;
}

void CancelToken::Unregister(uint64_t id) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::erase_if(waiters_, [id](const Waiter& waiter) { return waiter.id == id; });
}

namespace {

// Longest single wait inside the transfer loop. Cancellation and curl's own timers wake
// the loop sooner; this only bounds the time between checks of our own deadline.
constexpr int kPollSliceMs = 200;
// Slack past the total time limit before the loop gives up on its own, should curl's
// timer ever fail to end the transfer.
constexpr int kDeadlineSlackMs = 1000;

bool CurlReady() {
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] { ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
    return ready;
}

bool IsPlainMethod(const std::string& method) {
    return !method.empty() && method.size() <= 16 &&
           std::all_of(method.begin(), method.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
}

struct ReplyBuffer {
    std::string bytes;
    size_t cap = 0;
};

size_t WriteReply(char* data, size_t size, size_t count, void* userdata) {
    auto* buffer = static_cast<ReplyBuffer*>(userdata);
    const size_t n = size * count;
    if (n > buffer->cap - buffer->bytes.size()) {
        return CURL_WRITEFUNC_ERROR;  // oversized: the whole exchange fails
    }
    buffer->bytes.append(data, n);
    return n;
}

void WakeMulti(void* context) {
    curl_multi_wakeup(static_cast<CURLM*>(context));
}

struct EasyHandle {
    CURL* handle = curl_easy_init();
    ~EasyHandle() {
        if (handle != nullptr) {
            curl_easy_cleanup(handle);
        }
    }
};

struct MultiHandle {
    CURLM* handle = curl_multi_init();
    ~MultiHandle() {
        if (handle != nullptr) {
            curl_multi_cleanup(handle);
        }
    }
};

struct HeaderList {
    curl_slist* list = nullptr;
    ~HeaderList() { curl_slist_free_all(list); }
    bool Add(const char* line) {
        curl_slist* grown = curl_slist_append(list, line);
        if (grown == nullptr) {
            return false;
        }
        list = grown;
        return true;
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

// Runs one transfer to its end. Returns true when curl finished it without an error.
bool Transfer(CURLM* multi, CURL* easy, CancelToken* token, int totalTimeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline =
        Clock::now() + std::chrono::milliseconds(std::max(totalTimeoutMs, 0) + kDeadlineSlackMs);
    Registration registration(token, multi);
    for (;;) {
        if (token != nullptr && token->IsCancelled()) {
            return false;
        }
        int running = 0;
        if (curl_multi_perform(multi, &running) != CURLM_OK) {
            return false;
        }
        if (running == 0) {
            break;
        }
        if (Clock::now() >= deadline) {
            return false;
        }
        if (curl_multi_poll(multi, nullptr, 0, kPollSliceMs, nullptr) != CURLM_OK) {
            return false;
        }
    }
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == easy) {
            return message->data.result == CURLE_OK;
        }
    }
    return false;
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
    // Only one IPv4 host may be asked: the address also goes into the URL as it is, so
    // nothing else (a name, userinfo, a path, another port) can redirect the request.
    if (!IsUsableHostAddress(host) || !IsPlainMethod(method) || !CurlReady()) {
        return false;
    }
    if (cancel_ != nullptr && cancel_->IsCancelled()) {
        return false;
    }

    std::string url = "http://" + host;
    if (options_.port != 80) {
        url += ":" + std::to_string(options_.port);
    }
    url += "/tgi/return.tgi";

    EasyHandle easy;
    MultiHandle multi;
    HeaderList headers;
    // "Expect:" with no value stops curl from announcing the body and waiting for a
    // 100 Continue that a projector's small server may never send.
    if (easy.handle == nullptr || multi.handle == nullptr ||
        !headers.Add("Content-Type: application/x-www-form-urlencoded") ||
        !headers.Add("Expect:")) {
        return false;
    }

    ReplyBuffer buffer;
    buffer.cap = options_.maxReplyBytes;
    CURL* e = easy.handle;
    bool ok = true;
    auto set = [&ok](CURLcode code) { ok = ok && code == CURLE_OK; };
    set(curl_easy_setopt(e, CURLOPT_URL, url.c_str()));
    set(curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http"));
    set(curl_easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1)));
    set(curl_easy_setopt(e, CURLOPT_PROXY, ""));
    set(curl_easy_setopt(e, CURLOPT_NOPROXY, "*"));
    set(curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L));
    set(curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L));
    set(curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS,
                         static_cast<long>(std::max(options_.connectTimeoutMs, 1))));
    set(curl_easy_setopt(e, CURLOPT_TIMEOUT_MS,
                         static_cast<long>(std::max(options_.totalTimeoutMs, 1))));
    set(curl_easy_setopt(e, CURLOPT_MAXFILESIZE_LARGE,
                         static_cast<curl_off_t>(options_.maxReplyBytes)));
    set(curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers.list));
    set(curl_easy_setopt(e, CURLOPT_POST, 1L));
    if (method != "POST") {
        set(curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, method.c_str()));
    }
    // Sent as given: no percent-encoding, and the size makes it binary-safe.
    set(curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size())));
    set(curl_easy_setopt(e, CURLOPT_POSTFIELDS, body.data()));
    set(curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &WriteReply));
    set(curl_easy_setopt(e, CURLOPT_WRITEDATA, &buffer));
    if (!ok) {
        return false;
    }

    Attachment attachment(multi.handle, e);
    if (!attachment.attached) {
        return false;
    }
    if (!Transfer(multi.handle, e, cancel_.get(), options_.totalTimeoutMs)) {
        return false;
    }
    // Bytes as received: the protocol is byte-counted, so no charset conversion happens.
    reply = std::move(buffer.bytes);
    return !reply.empty();
}

}  // namespace vistrel
