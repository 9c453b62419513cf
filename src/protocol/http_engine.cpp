#include "protocol/http_engine.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <unordered_map>

#include "protocol/http_exchange.h"

namespace vistrel {

size_t DefaultMaxTransfers() {
    rlimit files{};
    size_t limit = 1024;
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY)
        limit = static_cast<size_t>(files.rlim_cur);
    return std::clamp<size_t>(limit / 2, 16, 1024);
}

struct HttpEngine::Transfer {
    Loop* loop = nullptr;
    uint64_t id = 0;
    std::string ip;
    std::string body;
    Done done;
    std::shared_ptr<CancelToken> cancel;
    uint64_t registration = 0;
    bool registered = false;
    bool connected = false;  // added to the multi handle
    HttpExchange exchange;
};

// Everything the engine's thread works on. Submissions and cancellations arrive from other
// threads under `mutex`; the rest belongs to the engine's thread alone.
struct HttpEngine::Loop {
    explicit Loop(HttpOptions o)
        : options(o),
          multi(curl_multi_init()),
          epoll(epoll_create1(EPOLL_CLOEXEC)),
          wake(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
        if (multi == nullptr || epoll < 0 || wake < 0) {
            Close();
            return;
        }
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.fd = wake;
        // curl tells which sockets to watch and when its next timer is due, so one wake-up
        // costs the sockets that are ready, not a walk over every transfer.
        if (epoll_ctl(epoll, EPOLL_CTL_ADD, wake, &event) != 0 ||
            curl_multi_setopt(multi, CURLMOPT_SOCKETFUNCTION, &Loop::OnSocket) != CURLM_OK ||
            curl_multi_setopt(multi, CURLMOPT_SOCKETDATA, this) != CURLM_OK ||
            curl_multi_setopt(multi, CURLMOPT_TIMERFUNCTION, &Loop::OnTimer) != CURLM_OK ||
            curl_multi_setopt(multi, CURLMOPT_TIMERDATA, this) != CURLM_OK) {
            Close();
        }
    }
    ~Loop() { Close(); }

    bool Usable() const { return multi != nullptr; }

    void Close() {
        // The multi handle first: cleaning it up may still report sockets to forget.
        if (multi != nullptr)
            curl_multi_cleanup(multi);
        multi = nullptr;
        if (wake >= 0)
            ::close(wake);
        if (epoll >= 0)
            ::close(epoll);
        wake = epoll = -1;
    }

    void Wake() {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wake, &one, sizeof one);
    }

    static int OnSocket(CURL*, curl_socket_t socket, int what, void* userp, void*) {
        auto* loop = static_cast<Loop*>(userp);
        if (what == CURL_POLL_REMOVE) {
            epoll_ctl(loop->epoll, EPOLL_CTL_DEL, socket, nullptr);
            return 0;
        }
        epoll_event event{};
        event.events =
            ((what & CURL_POLL_IN) ? EPOLLIN : 0u) | ((what & CURL_POLL_OUT) ? EPOLLOUT : 0u);
        event.data.fd = socket;
        if (epoll_ctl(loop->epoll, EPOLL_CTL_MOD, socket, &event) != 0 && errno == ENOENT)
            epoll_ctl(loop->epoll, EPOLL_CTL_ADD, socket, &event);
        return 0;
    }

    static int OnTimer(CURLM*, long timeoutMs, void* userp) {
        auto* loop = static_cast<Loop*>(userp);
        loop->timerSet = timeoutMs >= 0;
        if (loop->timerSet)
            loop->timerDue =
                std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        return 0;
    }

    // Lets curl act on its timer when it is due.
    void RunTimer() {
        if (!timerSet || std::chrono::steady_clock::now() < timerDue)
            return;
        timerSet = false;
        int running = 0;
        curl_multi_socket_action(multi, CURL_SOCKET_TIMEOUT, 0, &running);
    }

    // Waits for sockets, the timer or a wake-up, at most `idleMs`, and lets curl act on the
    // sockets that are ready.
    void Wait(int idleMs) {
        int waitMs = idleMs;
        if (timerSet) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                timerDue - std::chrono::steady_clock::now());
            waitMs = static_cast<int>(std::clamp<int64_t>(left.count() + 1, 0, idleMs));
        }
        epoll_event events[256];
        const int n = epoll_wait(epoll, events, 256, waitMs);
        for (int i = 0; i < n; ++i) {
            const int fd = events[i].data.fd;
            if (fd == wake) {
                uint64_t count = 0;
                [[maybe_unused]] const ssize_t got = ::read(wake, &count, sizeof count);
                continue;
            }
            int flags = 0;
            if (events[i].events & EPOLLIN)
                flags |= CURL_CSELECT_IN;
            if (events[i].events & EPOLLOUT)
                flags |= CURL_CSELECT_OUT;
            if (events[i].events & (EPOLLERR | EPOLLHUP))
                flags |= CURL_CSELECT_ERR;
            int running = 0;
            curl_multi_socket_action(multi, fd, flags, &running);
        }
    }

    static void OnCancel(void* context) {
        auto* transfer = static_cast<Transfer*>(context);
        Loop* loop = transfer->loop;
        {
            std::lock_guard lock(loop->mutex);
            loop->cancelled.push_back(transfer->id);
        }
        loop->Wake();
    }

    void Admit(std::unique_ptr<Transfer> transfer);
    void Release(uint64_t id, CURLcode result, bool fromCurl);
    void StartReady();
    void Cancelled(uint64_t id);
    void FinishAll();

    const HttpOptions options;
    CURLM* multi;
    int epoll;
    int wake;
    bool timerSet = false;
    std::chrono::steady_clock::time_point timerDue;
    size_t maxTransfers = 1;
    std::atomic<size_t> peak{0};

    std::mutex mutex;
    std::vector<std::unique_ptr<Transfer>> submitted;
    std::vector<uint64_t> cancelled;
    bool stopping = false;

    std::unordered_map<uint64_t, std::unique_ptr<Transfer>> transfers;
    std::unordered_map<CURL*, uint64_t> byHandle;
    // Transfers whose address is free, in the order posted.
    std::deque<uint64_t> ready;
    // Per address: the transfers waiting behind the one that holds it.
    std::unordered_map<std::string, std::deque<uint64_t>> waiting;
    size_t connected = 0;
    uint64_t nextId = 1;
    // Replies to hand out once the loop's own bookkeeping is done.
    std::vector<std::pair<Done, std::string>> finished;
};

void HttpEngine::Loop::Admit(std::unique_ptr<Transfer> transfer) {
    Transfer* t = transfer.get();
    t->loop = this;
    t->id = nextId++;
    const uint64_t id = t->id;
    auto [it, fresh] = waiting.try_emplace(t->ip);
    transfers.emplace(id, std::move(transfer));
    if (fresh) {
        ready.push_back(id);  // the address is free: it is now this transfer's
    } else {
        it->second.push_back(id);
    }
    if (t->cancel) {
        // May call OnCancel at once; that only queues the id for the next turn.
        t->registration = t->cancel->Register(&Loop::OnCancel, t);
        t->registered = true;
    }
}

// Ends transfer `id` with `result` and passes its address on to the next transfer for it.
void HttpEngine::Loop::Release(uint64_t id, CURLcode result, bool fromCurl) {
    auto it = transfers.find(id);
    if (it == transfers.end())
        return;
    std::unique_ptr<Transfer> transfer = std::move(it->second);
    transfers.erase(it);
    if (transfer->registered)
        transfer->cancel->Unregister(transfer->registration);
    bool heldAddress = transfer->connected;
    if (transfer->connected) {
        byHandle.erase(transfer->exchange.Handle());
        curl_multi_remove_handle(multi, transfer->exchange.Handle());
        --connected;
    } else if (auto at = std::find(ready.begin(), ready.end(), id); at != ready.end()) {
        heldAddress = true;
        ready.erase(at);
    }
    auto queue = waiting.find(transfer->ip);
    if (queue != waiting.end()) {
        if (heldAddress) {
            if (queue->second.empty()) {
                waiting.erase(queue);
            } else {
                ready.push_back(queue->second.front());
                queue->second.pop_front();
            }
        } else {
            std::erase(queue->second, id);
        }
    }
    std::string reply = fromCurl ? transfer->exchange.TakeReply(result) : std::string();
    finished.emplace_back(std::move(transfer->done), std::move(reply));
}

void HttpEngine::Loop::Cancelled(uint64_t id) {
    Release(id, CURLE_ABORTED_BY_CALLBACK, false);
}

void HttpEngine::Loop::StartReady() {
    while (connected < maxTransfers && !ready.empty()) {
        const uint64_t id = ready.front();
        ready.pop_front();
        auto it = transfers.find(id);
        if (it == transfers.end())
            continue;
        Transfer& t = *it->second;
        // Reserve the address while the transfer is being set up, so a failure below
        // passes it on like any other end.
        ready.push_front(id);
        const bool prepared = t.exchange.Prepare(t.ip, t.body, "POST", options);
        if (!prepared || curl_multi_add_handle(multi, t.exchange.Handle()) != CURLM_OK) {
            Release(id, CURLE_FAILED_INIT, false);
            continue;
        }
        ready.pop_front();
        t.connected = true;
        byHandle.emplace(t.exchange.Handle(), id);
        ++connected;
        if (connected > peak.load(std::memory_order_relaxed))
            peak.store(connected, std::memory_order_relaxed);
    }
}

void HttpEngine::Loop::FinishAll() {
    std::vector<uint64_t> ids;
    ids.reserve(transfers.size());
    for (const auto& [id, transfer] : transfers)
        ids.push_back(id);
    // Waiting transfers first, so that none is moved up and connected meanwhile.
    std::sort(ids.begin(), ids.end(), [this](uint64_t a, uint64_t b) {
        return !transfers[a]->connected && transfers[b]->connected;
    });
    for (uint64_t id : ids)
        Release(id, CURLE_ABORTED_BY_CALLBACK, false);
}

HttpEngine::HttpEngine(HttpEngineOptions options)
    : options_(std::move(options)),
      maxTransfers_(options_.maxTransfers == 0 ? DefaultMaxTransfers() : options_.maxTransfers),
      loop_(std::make_shared<Loop>(options_.http)) {
    loop_->maxTransfers = maxTransfers_;
}

HttpEngine::~HttpEngine() {
    Stop();
}

bool HttpEngine::EnsureThreadLocked() {
    if (thread_.joinable())
        return true;
    if (!loop_->Usable() || !CurlReady())
        return false;
    // The thread holds its own share of the loop: the last owner of the engine may let go
    // of it inside a reply, on this very thread.
    thread_ = StartThread(options_.threadStarter, "HTTP engine", [loop = loop_] { Run(*loop); });
    return thread_.joinable();
}

void HttpEngine::Post(const std::string& ip, const std::string& body, Done done,
                      std::shared_ptr<CancelToken> cancel) {
    if (options_.onPost)
        options_.onPost(ip, body);
    bool taken = false;
    if (IsUsableHostAddress(ip) && !(cancel && cancel->IsCancelled())) {
        std::lock_guard lock(mutex_);
        if (!stopped_ && EnsureThreadLocked()) {
            auto transfer = std::make_unique<Transfer>();
            transfer->ip = ip;
            transfer->body = body;
            transfer->done = std::move(done);
            transfer->cancel = std::move(cancel);
            {
                std::lock_guard loopLock(loop_->mutex);
                loop_->submitted.push_back(std::move(transfer));
            }
            loop_->Wake();
            taken = true;
        }
    }
    if (!taken && done)
        done(std::string());
}

void HttpEngine::Run(Loop& loop) {
    // Longest sleep when nothing happens; curl's own timers and every wake-up end it sooner.
    constexpr int kIdleWaitMs = 1000;
    std::vector<std::unique_ptr<Transfer>> incoming;
    std::vector<uint64_t> cancelled;
    bool stopping = false;
    for (;;) {
        {
            std::lock_guard lock(loop.mutex);
            incoming.swap(loop.submitted);
            cancelled.swap(loop.cancelled);
            stopping = loop.stopping;
        }
        for (auto& transfer : incoming)
            loop.Admit(std::move(transfer));
        incoming.clear();
        if (stopping)
            break;
        for (uint64_t id : cancelled)
            loop.Cancelled(id);
        cancelled.clear();
        loop.StartReady();

        loop.RunTimer();
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(loop.multi, &queued)) {
            if (message->msg != CURLMSG_DONE)
                continue;
            auto it = loop.byHandle.find(message->easy_handle);
            if (it != loop.byHandle.end())
                loop.Release(it->second, message->data.result, true);
        }
        loop.StartReady();
        // Handed out with no bookkeeping in progress: a reply may post the next exchange.
        for (auto& [done, reply] : loop.finished) {
            if (done)
                done(std::move(reply));
        }
        loop.finished.clear();
        loop.Wait(kIdleWaitMs);
    }
    loop.FinishAll();
    for (auto& [done, reply] : loop.finished) {
        if (done)
            done(std::string());
    }
    loop.finished.clear();
}

void HttpEngine::Stop() {
    std::thread thread;
    {
        std::lock_guard lock(mutex_);
        stopped_ = true;
        thread = std::move(thread_);
    }
    {
        std::lock_guard lock(loop_->mutex);
        loop_->stopping = true;
    }
    if (thread.joinable()) {
        loop_->Wake();
        if (thread.get_id() == std::this_thread::get_id()) {
            thread.detach();  // stopped from a reply: the loop ends when that reply returns
        } else {
            thread.join();
        }
    }
}

size_t HttpEngine::PeakTransfers() const {
    return loop_->peak.load(std::memory_order_relaxed);
}

bool HttpEngine::HasThread() const {
    std::lock_guard lock(mutex_);
    return thread_.joinable();
}

bool SendThrough(HttpEngine& engine, const std::string& ip, const std::string& body,
                 std::string& reply, const std::shared_ptr<CancelToken>& cancel) {
    struct Wait {
        std::mutex mutex;
        std::condition_variable cv;
        bool done = false;
        std::string reply;
    };
    auto wait = std::make_shared<Wait>();
    engine.Post(
        ip, body,
        [wait](std::string r) {
            std::lock_guard lock(wait->mutex);
            wait->reply = std::move(r);
            wait->done = true;
            wait->cv.notify_all();
        },
        cancel);
    std::unique_lock lock(wait->mutex);
    wait->cv.wait(lock, [&] { return wait->done; });
    reply = std::move(wait->reply);
    return !reply.empty();
}

}  // namespace vistrel
