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
#include <unordered_set>

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
    // Waiting: behind another transfer to the same address. Ready: holds its address and
    // waits for a connection slot. Connected: added to the multi handle.
    enum class State { Waiting, Ready, Connected };

    uint64_t id = 0;
    std::string ip;
    std::string body;
    Completion done;
    std::shared_ptr<CancelToken> cancel;
    TokenWatch* watch = nullptr;
    State state = State::Waiting;
    HttpExchange exchange;
};

// One registration per cancel token, shared by every transfer that carries it: a batch of
// n entries registers once, and cancelling it costs one wake-up, not n.
struct HttpEngine::TokenWatch {
    Loop* loop = nullptr;
    std::shared_ptr<CancelToken> token;
    uint64_t registration = 0;
    std::unordered_set<uint64_t> ids;
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

    // Runs once per token (under the token's lock); the loop ends its transfers next turn.
    static void OnCancel(void* context) {
        auto* watch = static_cast<TokenWatch*>(context);
        Loop* loop = watch->loop;
        {
            std::lock_guard lock(loop->mutex);
            loop->cancelled.push_back(watch->token.get());
        }
        loop->Wake();
    }

    void Admit(std::unique_ptr<Transfer> transfer);
    void Release(uint64_t id, CURLcode result, bool fromCurl);
    // Hands the address of a transfer that ended to the next live transfer waiting for it.
    void PassOn(const std::string& ip);
    void StartReady();
    void Cancelled(CancelToken* token);
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
    std::vector<CancelToken*> cancelled;
    bool stopping = false;

    std::unordered_map<uint64_t, std::unique_ptr<Transfer>> transfers;
    std::unordered_map<CURL*, uint64_t> byHandle;
    std::unordered_map<CancelToken*, std::unique_ptr<TokenWatch>> watches;
    // Transfers that hold their address, in the order they got it. An id whose transfer
    // has ended meanwhile stays behind and is skipped: ending costs no search.
    std::deque<uint64_t> ready;
    // Per address held: the transfers waiting behind the holder, in the order posted; ended
    // ones are skipped the same way.
    std::unordered_map<std::string, std::deque<uint64_t>> waiting;
    size_t connected = 0;
    uint64_t nextId = 1;
    // Replies to hand out once the loop's own bookkeeping is done.
    std::vector<std::pair<Completion, ExchangeEnd>> finished;
};

void HttpEngine::Loop::Admit(std::unique_ptr<Transfer> transfer) {
    Transfer* t = transfer.get();
    t->id = nextId++;
    const uint64_t id = t->id;
    auto [it, fresh] = waiting.try_emplace(t->ip);
    transfers.emplace(id, std::move(transfer));
    if (fresh) {
        t->state = Transfer::State::Ready;  // the address is free: it is now this transfer's
        ready.push_back(id);
    } else {
        it->second.push_back(id);
    }
    if (t->cancel) {
        auto& watch = watches[t->cancel.get()];
        if (!watch) {
            watch = std::make_unique<TokenWatch>();
            watch->loop = this;
            watch->token = t->cancel;
            // May call OnCancel at once; that only queues the token for the next turn.
            watch->registration = t->cancel->Register(&Loop::OnCancel, watch.get());
        }
        watch->ids.insert(id);
        t->watch = watch.get();
    }
}

void HttpEngine::Loop::PassOn(const std::string& ip) {
    auto queue = waiting.find(ip);
    if (queue == waiting.end())
        return;
    while (!queue->second.empty()) {
        const uint64_t next = queue->second.front();
        queue->second.pop_front();
        auto it = transfers.find(next);
        if (it != transfers.end()) {
            it->second->state = Transfer::State::Ready;
            ready.push_back(next);
            return;
        }
    }
    waiting.erase(queue);
}

// Ends transfer `id` with `result` and passes its address on to the next transfer for it.
void HttpEngine::Loop::Release(uint64_t id, CURLcode result, bool fromCurl) {
    auto it = transfers.find(id);
    if (it == transfers.end())
        return;
    std::unique_ptr<Transfer> transfer = std::move(it->second);
    transfers.erase(it);
    if (TokenWatch* watch = transfer->watch) {
        watch->ids.erase(id);
        if (watch->ids.empty()) {
            // The last transfer with this token: after Unregister no wake-up points here.
            watch->token->Unregister(watch->registration);
            watches.erase(watch->token.get());
        }
    }
    ExchangeEnd end;
    if (transfer->state == Transfer::State::Connected) {
        CURL* easy = transfer->exchange.Handle();
        if (fromCurl && result == CURLE_OPERATION_TIMEDOUT) {
            // Connect time stays 0 until a connection stands: a limit that passed while
            // connecting is "no connection", unless it was the whole exchange's limit.
            curl_off_t connectUs = 0;
            curl_off_t totalUs = 0;
            curl_easy_getinfo(easy, CURLINFO_CONNECT_TIME_T, &connectUs);
            curl_easy_getinfo(easy, CURLINFO_TOTAL_TIME_T, &totalUs);
            end.timedOut = connectUs > 0 || totalUs / 1000 >= options.totalTimeoutMs;
        }
        byHandle.erase(easy);
        curl_multi_remove_handle(multi, easy);
        --connected;
    }
    if (transfer->state != Transfer::State::Waiting)
        PassOn(transfer->ip);
    if (fromCurl)
        end.reply = transfer->exchange.TakeReply(result);
    finished.emplace_back(std::move(transfer->done), std::move(end));
}

void HttpEngine::Loop::Cancelled(CancelToken* token) {
    auto it = watches.find(token);
    // The watch may have ended, and its address been reused by another token, since the
    // wake-up was queued: a token, once cancelled, stays so.
    if (it == watches.end() || !it->second->token->IsCancelled())
        return;
    const std::vector<uint64_t> ids(it->second->ids.begin(), it->second->ids.end());
    for (uint64_t id : ids)
        Release(id, CURLE_ABORTED_BY_CALLBACK, false);
}

void HttpEngine::Loop::StartReady() {
    while (connected < maxTransfers && !ready.empty()) {
        const uint64_t id = ready.front();
        ready.pop_front();
        auto it = transfers.find(id);
        if (it == transfers.end() || it->second->state != Transfer::State::Ready)
            continue;  // ended while it waited for a slot
        Transfer& t = *it->second;
        const bool prepared = t.exchange.Prepare(t.ip, t.body, "POST", options);
        if (!prepared || curl_multi_add_handle(multi, t.exchange.Handle()) != CURLM_OK) {
            Release(id, CURLE_FAILED_INIT, false);  // passes the address on like any end
            continue;
        }
        t.state = Transfer::State::Connected;
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
    // In the order posted; nothing is connected any more, whatever is passed on.
    std::sort(ids.begin(), ids.end());
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
    Completion completion;
    if (done)
        completion = [done = std::move(done)](ExchangeEnd end) { done(std::move(end.reply)); };
    PostExchange(ip, body, std::move(completion), std::move(cancel));
}

void HttpEngine::PostExchange(const std::string& ip, const std::string& body, Completion done,
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
            inFlight_->fetch_add(1, std::memory_order_relaxed);
            transfer->done = [count = inFlight_, done = std::move(done)](ExchangeEnd end) {
                count->fetch_sub(1, std::memory_order_relaxed);
                if (done)
                    done(std::move(end));
            };
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
        done(ExchangeEnd{});
}

void HttpEngine::Run(Loop& loop) {
    // Longest sleep when nothing happens; curl's own timers and every wake-up end it sooner.
    constexpr int kIdleWaitMs = 1000;
    std::vector<std::unique_ptr<Transfer>> incoming;
    std::vector<CancelToken*> cancelled;
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
        for (CancelToken* token : cancelled)
            loop.Cancelled(token);
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
        for (auto& [done, end] : loop.finished) {
            if (done)
                done(std::move(end));
        }
        loop.finished.clear();
        loop.Wait(kIdleWaitMs);
    }
    loop.FinishAll();
    for (auto& [done, end] : loop.finished) {
        if (done)
            done(ExchangeEnd{});
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
