#include "protocol/request_ring.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <set>
#include <string_view>

namespace vistrel {

namespace {

// How long the last send in flight at shutdown may still take before it is abandoned: an
// answering projector replies within milliseconds, a hung one is not waited for.
constexpr std::chrono::milliseconds kLastSendSettle{250};
// How long Shutdown waits for cancelled workers to return before leaving them behind.
constexpr std::chrono::milliseconds kCancelWait{1000};

bool IsFlushMarker(const std::string& body) {
    return std::string_view(body).starts_with(kFlushMarker);
}

// The part of a body up to and including the first blank: for a command, its whole code
// ("command=~00100 "). Empty when there is no blank.
std::string_view CommandCode(std::string_view body) {
    const size_t blank = body.find(' ');
    return blank == std::string_view::npos ? std::string_view() : body.substr(0, blank + 1);
}

// A command immediately followed by another one for the same projector with the same
// 13-character start and the same whole code (the same setting with a new two-character
// value) is stale. Two codes that only share their first digits ("~00100" freeze and
// "~00105" DirectPower) are different settings: both must be sent. Requests for different
// projectors never supersede each other: a command queued for every target must reach every
// target.
bool IsSuperseded(const MsgCmd& slot, const MsgCmd& next) {
    constexpr size_t kLength = 16;
    constexpr size_t kPrefix = 13;
    if (slot.body.size() != kLength || next.body.size() != kLength || slot.ip != next.ip ||
        slot.body.compare(0, kPrefix, next.body, 0, kPrefix) != 0)
        return false;
    const std::string_view code = CommandCode(slot.body);
    return !code.empty() && code == CommandCode(next.body);
}

std::shared_ptr<HttpEngine> EngineFor(const Console& console, const RequestRingOptions& options) {
    if (options.sender)
        return nullptr;
    if (options.engine)
        return options.engine;
    HttpEngineOptions engineOptions;
    engineOptions.http.port = console.profile.httpPort;
    engineOptions.threadStarter = options.threadStarter;
    return std::make_shared<HttpEngine>(engineOptions);
}

RequestSender SenderFor(const std::shared_ptr<HttpEngine>& engine, RequestSender sender) {
    if (sender)
        return sender;
    return [engine](const std::string& ip, const std::string& body, std::string& reply,
                    const std::shared_ptr<CancelToken>& cancel) {
        return SendThrough(*engine, ip, body, reply, cancel);
    };
}

BatchSender BatchFor(const std::shared_ptr<HttpEngine>& engine, const RequestSender& sender,
                     const RequestRingOptions& options) {
    if (engine)
        return BatchSender(engine);
    return BatchSender(sender, options.batchThreads, options.threadStarter);
}

}  // namespace

// Everything a worker touches. Workers hold a share of it, so a worker that is still
// returning from a cancelled send after the ring is gone touches nothing freed. Slot
// fields, the wake event, quit, the generation and the send in flight are guarded by
// `mutex`; head, tail and busyCounter are atomics so that readers need no lock.
struct RequestRing::State {
    State(RequestSender s, std::chrono::milliseconds p) : sender(std::move(s)), pause(p) {}

    const RequestSender sender;
    const std::chrono::milliseconds pause;

    mutable std::mutex mutex;
    std::condition_variable cv;
    std::array<MsgCmd, kRingSlots> slots;
    std::atomic<uint32_t> head{0};
    std::atomic<uint32_t> tail{0};
    std::atomic<uint32_t> busyCounter{kBusyIdle};
    bool wakeSignalled = false;  // the auto-reset wake event
    bool quit = false;
    // Only the worker of the current generation may touch the ring; every other one is
    // abandoned and ends at its next look.
    std::atomic<uint64_t> generation{0};
    std::shared_ptr<CancelToken> inFlight;
    std::weak_ptr<ReplySink> statusWindow;
    std::set<uint64_t> ended;  // generations whose worker has returned
};

RequestRing::RequestRing(Console& console, RequestRingOptions options)
    : console_(console),
      engine_(EngineFor(console, options)),
      ownsEngine_(engine_ && engine_ != options.engine),
      threadStarter_(options.threadStarter),
      state_(std::make_shared<State>(SenderFor(engine_, options.sender), options.pause)),
      batch_(BatchFor(engine_, state_->sender, options)),
      grace_(options.shutdownGrace) {}

RequestRing::~RequestRing() {
    Shutdown();
}

void RequestRing::RunWorker(std::shared_ptr<State> state, uint64_t generation) {
    State& s = *state;
    std::unique_lock<std::mutex> lock(s.mutex);
    auto current = [&] { return s.generation.load(std::memory_order_relaxed) == generation; };
    // Posts without holding the lock (a sink may take locks of its own) and reports whether
    // this worker is still the current one afterwards.
    auto post = [&](const std::shared_ptr<ReplySink>& sink, uint32_t message, uintptr_t wparam,
                    intptr_t lparam) {
        if (sink) {
            lock.unlock();
            sink->Post(message, wparam, lparam);
            lock.lock();
        }
        return current();
    };

    bool running = current();
    if (running)
        s.busyCounter.store(kBusyIdle);
    while (running) {
        if (!post(s.statusWindow.lock(), kMsgQueueStatus, 0, 0))
            break;
        s.cv.wait(lock, [&] { return s.wakeSignalled || !current(); });
        if (!current())
            break;
        s.wakeSignalled = false;
        if (s.quit)
            break;

        // Take loop: runs until the ring is empty, without waiting on the event.
        for (;;) {
            uint32_t head = s.head.load(std::memory_order_acquire);
            uint32_t t = s.tail.load(std::memory_order_relaxed);
            if (t == head)
                break;
            t = (t + 1) & kRingMask;
            s.tail.store(t, std::memory_order_release);

            // The newest flush marker discards everything queued before it. Its owner asked for
            // that and hears nothing; another owner whose change (not a query, which is only
            // stale) is discarded is told, or it would wait for ever for the reply.
            std::vector<std::pair<std::shared_ptr<ReplySink>, std::string>> flushed;
            if (t != head) {
                for (uint32_t i = head; i != t; i = (i - 1) & kRingMask) {
                    if (!IsFlushMarker(s.slots[i].body))
                        continue;
                    const std::weak_ptr<ReplySink>& flusher = s.slots[i].owner;
                    for (uint32_t j = t; j != i; j = (j + 1) & kRingMask) {
                        MsgCmd& slot = s.slots[j];
                        slot.ip.clear();
                        const bool sameOwner =
                            !slot.owner.owner_before(flusher) && !flusher.owner_before(slot.owner);
                        if (!sameOwner && !IsFlushMarker(slot.body) &&
                            !slot.body.starts_with("query=")) {
                            if (auto sink = slot.owner.lock())
                                flushed.emplace_back(std::move(sink), slot.body);
                        }
                    }
                    t = i;
                    s.tail.store(t, std::memory_order_release);
                    break;
                }
            }
            if (!flushed.empty()) {
                lock.unlock();
                for (const auto& [sink, body] : flushed)
                    sink->Dropped(body);
                flushed.clear();
                lock.lock();
                if (!current()) {
                    running = false;
                    break;
                }
            }
            if (IsFlushMarker(s.slots[t].body))
                continue;
            if (t != head && IsSuperseded(s.slots[t], s.slots[(t + 1) & kRingMask])) {
                s.slots[t].ip.clear();
                if (auto sink = s.slots[t].owner.lock()) {
                    const std::string body = s.slots[t].body;
                    lock.unlock();
                    sink->Dropped(body);
                    lock.lock();
                    if (!current()) {
                        running = false;
                        break;
                    }
                }
                continue;
            }

            if (!post(s.statusWindow.lock(), kMsgQueueStatus, 0, 1)) {
                running = false;
                break;
            }
            const std::string ip = s.slots[t].ip;
            const std::string body = s.slots[t].body;
            auto token = std::make_shared<CancelToken>();
            s.inFlight = token;
            s.busyCounter.store(0);
            s.cv.notify_all();  // a shutdown in progress looks at what is in flight
            lock.unlock();

            std::string reply;
            s.sender(ip, body, reply, token);

            lock.lock();
            // Abandoned meanwhile: the ring is no longer ours, not even this slot.
            if (!current()) {
                running = false;
                break;
            }
            s.inFlight.reset();
            // From here the watchdog cannot trip until the next send starts.
            s.busyCounter.store(kBusyIdle);
            s.slots[t].reply = std::move(reply);
            if (!post(s.slots[t].owner.lock(), s.slots[t].message, t, 0)) {
                running = false;
                break;
            }
            // At shutdown the pause only spaces out slots that are still pending.
            s.cv.wait_for(lock, s.pause, [&] {
                return !current() || (s.quit && s.head.load(std::memory_order_acquire) ==
                                                    s.tail.load(std::memory_order_acquire));
            });
            if (!current()) {
                running = false;
                break;
            }
        }
    }
    s.ended.insert(generation);
    s.cv.notify_all();
}

uint64_t RequestRing::StartRequestWorker() {
    ReapEndedWorkers();
    std::lock_guard<std::mutex> lock(state_->mutex);
    shutDown_ = false;
    return StartLocked();
}

uint64_t RequestRing::StartLocked() {
    State& s = *state_;
    AbandonLocked();
    const uint64_t generation = s.generation.load(std::memory_order_relaxed);
    s.head.store(0, std::memory_order_release);
    s.tail.store(0, std::memory_order_release);
    s.busyCounter.store(kBusyIdle);
    s.quit = false;
    s.wakeSignalled = false;
    std::thread thread =
        StartThread(threadStarter_, "request queue worker",
                    [state = state_, generation] { RunWorker(state, generation); });
    workerFailed_ = !thread.joinable();
    if (thread.joinable())
        workers_.push_back(Worker{generation, std::move(thread)});
    return generation;
}

void RequestRing::AbandonLocked() {
    State& s = *state_;
    s.generation.fetch_add(1, std::memory_order_relaxed);
    if (s.inFlight) {
        s.inFlight->Cancel();
        s.inFlight.reset();
    }
    s.busyCounter.store(kBusyIdle);
    s.cv.notify_all();
}

void RequestRing::ReapEndedWorkers() {
    std::vector<std::thread> ended;
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        for (auto it = workers_.begin(); it != workers_.end();) {
            if (state_->ended.erase(it->generation) != 0) {
                ended.push_back(std::move(it->thread));
                it = workers_.erase(it);
            } else {
                ++it;
            }
        }
    }
    // They have returned from their loop; joining only waits for the thread to unwind.
    for (std::thread& thread : ended)
        thread.join();
}

void RequestRing::Enqueue(const std::string& body, const std::weak_ptr<ReplySink>& owner,
                          const std::string& ip) {
    if (!ip.empty()) {
        WriteSlot(body, owner, ip);
        return;
    }
    for (const std::string& target : console_.targetIps)
        WriteSlot(body, owner, target);
}

void RequestRing::WriteSlot(const std::string& body, const std::weak_ptr<ReplySink>& owner,
                            const std::string& ip) {
    State& s = *state_;
    std::shared_ptr<ReplySink> answerNow;
    uint32_t index = 0;
    bool dropped = false;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        const uint32_t head = s.head.load(std::memory_order_relaxed);
        // The slot in process and the two before it stay readable by their owners.
        if (((head + 3) & kRingMask) == s.tail.load(std::memory_order_acquire)) {
            dropped = true;
        } else {
            index = (head + 1) & kRingMask;
            MsgCmd& slot = s.slots[index];
            slot.ip = ip;
            slot.body = body;
            slot.message = kMsgReply;
            slot.owner = owner;
            if (workerFailed_ && !shutDown_) {
                // No worker to send it: the owner hears at once, with the empty reply of a
                // failed send, instead of waiting for ever. A marker has nobody to tell.
                slot.reply.clear();
                s.head.store(index, std::memory_order_release);
                s.tail.store(index, std::memory_order_release);
                if (!IsFlushMarker(body))
                    answerNow = owner.lock();
            } else {
                s.head.store(index, std::memory_order_release);
                s.wakeSignalled = true;
                s.cv.notify_all();
            }
        }
    }
    if (dropped) {
        // The owner would otherwise wait for a reply that never comes.
        if (auto sink = owner.lock(); sink && !IsFlushMarker(body))
            sink->Dropped(body);
        return;
    }
    if (answerNow)
        answerNow->Post(kMsgReply, index, 0);
}

bool RequestRing::HasWorker() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return !workers_.empty() && !workerFailed_;
}

std::shared_ptr<BatchResult> RequestRing::SendBatch(const std::string& body,
                                                    const std::weak_ptr<ReplySink>& owner,
                                                    BatchResult::OnAnswer onAnswer) {
    return batch_.Send(console_.batch, body, owner, std::move(onAnswer));
}

std::shared_ptr<BatchResult> RequestRing::SendBatchEach(const std::vector<std::string>& bodies,
                                                        const std::weak_ptr<ReplySink>& owner) {
    std::vector<MsgCmd> entries;
    for (size_t i = 0; i < console_.batch.size() && i < bodies.size(); ++i) {
        if (bodies[i].empty())
            continue;
        entries.push_back(console_.batch[i]);
        entries.back().body = bodies[i];
    }
    return batch_.SendEach(std::move(entries), owner);
}

void RequestRing::WatchdogTick() {
    ReapEndedWorkers();
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (shutDown_)
        return;
    if (workerFailed_) {
        StartLocked();  // try again: the ring is empty, every request so far was answered
        return;
    }
    if (workers_.empty())
        return;
    // Under the lock, so a worker that has just finished its send cannot be abandoned
    // between storing its reply and notifying the owner.
    const uint32_t ticks = state_->busyCounter.fetch_add(1) + 1;
    if (ticks == kWatchdogTicks)
        StartLocked();
}

void RequestRing::Shutdown() {
    if (shutDown_)
        return;
    shutDown_ = true;
    const auto deadline = std::chrono::steady_clock::now() + grace_;
    State& s = *state_;
    {
        std::unique_lock<std::mutex> lock(s.mutex);
        s.quit = true;
        s.wakeSignalled = true;
        s.cv.notify_all();
        const uint64_t generation = s.generation.load(std::memory_order_relaxed);
        auto ended = [&] {
            return s.ended.count(generation) != 0 ||
                   std::none_of(workers_.begin(), workers_.end(),
                                [&](const Worker& w) { return w.generation == generation; });
        };
        // Pending slots are still sent. Once nothing waits behind the send in flight, that
        // send gets a moment to finish and is then abandoned rather than waited out, as
        // after the grace: its owner hears nothing.
        auto lastInFlight = [&] {
            return s.inFlight &&
                   s.head.load(std::memory_order_acquire) == s.tail.load(std::memory_order_acquire);
        };
        while (!ended()) {
            if (!s.cv.wait_until(lock, deadline, [&] { return ended() || lastInFlight(); })) {
                AbandonLocked();
                break;
            }
            if (ended())
                break;
            const std::shared_ptr<CancelToken> last = s.inFlight;
            const auto settle =
                std::min(deadline, std::chrono::steady_clock::now() + kLastSendSettle);
            if (!s.cv.wait_until(lock, settle, [&] { return ended() || s.inFlight != last; })) {
                AbandonLocked();
                break;
            }
        }
    }
    // With the engine, a batch in flight is cancelled at once: nobody waits for a batch.
    batch_.Stop(engine_ ? std::chrono::steady_clock::now() : deadline);

    // Every worker has been told to end; give cancelled sends a moment to return.
    const auto joinDeadline = std::chrono::steady_clock::now() + kCancelWait;
    for (Worker& worker : workers_) {
        bool ended;
        {
            std::unique_lock<std::mutex> lock(s.mutex);
            ended = s.cv.wait_until(lock, joinDeadline,
                                    [&] { return s.ended.count(worker.generation) != 0; });
            s.ended.erase(worker.generation);
        }
        // A sender that ignores cancellation keeps its thread; it holds its own share of
        // the state and will find its generation retired.
        if (ended) {
            worker.thread.join();
        } else {
            worker.thread.detach();
        }
    }
    workers_.clear();
    if (engine_ && ownsEngine_)
        engine_->Stop();
}

void RequestRing::SetStatusWindow(std::weak_ptr<ReplySink> window) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->statusWindow = std::move(window);
}

void RequestRing::ClearStatusWindow() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->statusWindow.reset();
}

MsgCmd RequestRing::Slot(uint32_t index) const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->slots[index & kRingMask];
}

uint32_t RequestRing::Head() const {
    return state_->head.load(std::memory_order_acquire);
}
uint32_t RequestRing::Tail() const {
    return state_->tail.load(std::memory_order_acquire);
}
uint32_t RequestRing::BusyCounter() const {
    return state_->busyCounter.load();
}
uint64_t RequestRing::Generation() const {
    return state_->generation.load(std::memory_order_relaxed);
}

}  // namespace vistrel
