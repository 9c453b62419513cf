#include "monitor/status_poller.h"

#include <algorithm>

#include "monitor/discovery.h"
#include "protocol/codec.h"

namespace vistrel {

StatusPoller::StatusPoller(Console& console, PollerOptions options,
                           std::shared_ptr<PollTransport> transport)
    : console_(console),
      options_(options),
      transport_(std::move(transport)),
      cancel_(std::make_shared<CancelToken>()) {
    if (!transport_) {
        std::shared_ptr<HttpEngine> engine = options_.engine;
        if (!engine) {
            HttpEngineOptions engineOptions;
            engineOptions.http = options_.http;
            engineOptions.http.port = console_.profile.httpPort;
            engineOptions.threadStarter = options_.threadStarter;
            engine = std::make_shared<HttpEngine>(engineOptions);
        }
        transport_ = std::make_shared<HttpPollTransport>(std::move(engine));
    }
}

StatusPoller::~StatusPoller() {
    Stop();
}

void StatusPoller::StartPolling() {
    if (thread_.joinable() || StopSignalled())
        return;
    thread_ = StartThread(options_.threadStarter, "status polling", [this] { Run(); });
}

void StatusPoller::Stop() {
    {
        std::lock_guard lock(mutex_);
        pollStopEvent_ = true;
        stopFlag_.store(true);
    }
    wake_.notify_all();
    cancel_->Cancel();
    if (thread_.joinable())
        thread_.join();
    // Cancelled exchanges come back at once; their replies are no longer stored.
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [this] { return inFlight_.empty(); });
}

void StatusPoller::Pause() {
    std::lock_guard lock(mutex_);
    paused_ = true;
}

void StatusPoller::Resume() {
    {
        std::lock_guard lock(mutex_);
        paused_ = false;
    }
    wake_.notify_all();
}

bool StatusPoller::Paused() const {
    std::lock_guard lock(mutex_);
    return paused_;
}

bool StatusPoller::StopSignalled() const {
    return stopFlag_.load();
}

bool StatusPoller::SleepFor(std::chrono::milliseconds duration) {
    std::unique_lock lock(mutex_);
    return !wake_.wait_for(lock, duration, [this] { return pollStopEvent_; });
}

bool StatusPoller::WaitWhilePaused() {
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [this] { return pollStopEvent_ || !paused_; });
    return !pollStopEvent_;
}

// What one pass started, so that its end can be told once its last projector is done.
struct StatusPoller::Pass {
    PollPassStats stats;
    std::chrono::steady_clock::time_point started;
    std::atomic<size_t> remaining{1};  // one for the pass itself until it has started all
    std::atomic<size_t> stored{0};
};

void StatusPoller::Run() {
    std::chrono::milliseconds wait = options_.pause;
    while (!StopSignalled()) {
        if (!console_.autoSearchEnabled.load()) {
            if (!console_.refreshNow.exchange(false)) {
                SleepFor(options_.idleSleep);
                continue;
            }
            wait = options_.pause;
        }
        if (!SleepFor(wait))
            break;
        if (!WaitWhilePaused())
            break;
        wait = RunPass();
    }
}

bool StatusPoller::MayStore() const {
    std::lock_guard lock(mutex_);
    return !pollStopEvent_ && !paused_;
}

std::chrono::milliseconds StatusPoller::RunPass() {
    auto pass = std::make_shared<Pass>();
    pass->started = std::chrono::steady_clock::now();
    std::vector<std::string> soon = console_.pollSoon.Take();
    struct Candidate {
        std::string mac;
        std::string ip;
        bool asked;
    };
    std::vector<Candidate> candidates;
    uint32_t untilNext = options_.minIntervalMs;
    {
        auto table = console_.table.Lock();
        const uint32_t now = console_.clock.TickMs();
        for (const Info& record : table.Records()) {
            // PJLink projectors have a polling of their own, in their own protocol.
            if (record.freshness <= kPollThreshold || record.pjlink)
                continue;
            ++pass->stats.snapshot;
            if (record.relocating || record.ip == kUnusableAddress)
                continue;
            const bool asked = std::find(soon.begin(), soon.end(), record.ip) != soon.end();
            const uint32_t elapsed = TickElapsed(now, record.pollTick);
            if (elapsed >= options_.minIntervalMs || asked) {
                candidates.push_back({record.mac, record.ip, asked});
            } else {
                untilNext = std::min(untilNext, options_.minIntervalMs - elapsed);
            }
        }
    }
    // Not under the table lock: the window takes this poller's lock while holding it.
    std::vector<std::pair<std::string, std::string>> due;  // mac, ip
    bool leftOver = false;
    {
        std::lock_guard flight(mutex_);
        for (Candidate& candidate : candidates) {
            // One exchange per projector at a time; a command's answer waits for a later pass.
            if (inFlight_.count(candidate.mac) != 0)
                continue;
            if (due.size() >= std::max<size_t>(options_.maxStartsPerLook, 1)) {
                leftOver = true;  // still due at the next look, in table order
                continue;
            }
            if (candidate.asked)
                std::erase(soon, candidate.ip);
            inFlight_.insert(candidate.mac);
            due.emplace_back(std::move(candidate.mac), std::move(candidate.ip));
        }
    }
    // Requests for projectors that are busy or not in the table yet wait for a later pass.
    for (const std::string& ip : soon)
        console_.pollSoon.Add(ip);
    pass->stats.pass = passes_.fetch_add(1) + 1;
    pass->stats.polled = due.size();
    pass->remaining.fetch_add(due.size());
    // In table order; the table lock is not held while the requests start.
    for (const auto& [mac, ip] : due)
        PollInfo(pass, mac, ip);
    if (pass->remaining.fetch_sub(1) == 1)
        EndPass(*pass);
    // The next look comes after the pause, or sooner when a projector falls due sooner or
    // some were left for the next burst.
    auto next =
        std::min(options_.pause, std::chrono::milliseconds(std::max<uint32_t>(untilNext, 1)));
    if (leftOver)
        next = std::min(next, std::max(options_.burstGap, std::chrono::milliseconds(1)));
    return next;
}

void StatusPoller::PollInfo(const std::shared_ptr<Pass>& pass, const std::string& mac,
                            const std::string& ip) {
    transport_->PostAsync(
        ip, std::string(kQueryInfoBody), cancel_,
        [this, pass, mac, ip](std::string reply) { OnInfo(pass, mac, ip, reply); });
}

void StatusPoller::OnInfo(const std::shared_ptr<Pass>& pass, const std::string& mac,
                          const std::string& ip, const std::string& reply) {
    if (!MayStore()) {
        EndChain(pass, mac);  // asked again after the pause, the 15 seconds not having begun
        return;
    }
    Info record;
    bool known = false;
    if (!reply.empty()) {
        auto table = console_.table.Lock();
        known = table.Lookup(mac, record);
        if (known) {
            ParseInfoReply(reply, record);
            // Counted from the stored reply, so a projector never hears from us sooner than 15 s
            // after it last answered, however long that answer took.
            record.pollTick = console_.clock.TickMs();
            table.Store(record);
            pass->stored.fetch_add(1);
        }
    } else if (console_.presence.Active()) {
        known = console_.table.Lock().Lookup(mac, record);
    }
    if (known) {
        console_.presence.Tell(
            reply.empty() ? PresenceEvent::kPollFailed : PresenceEvent::kAnswered, record);
    }
    // The group request goes out whatever became of the info request.
    transport_->PostAsync(
        ip, std::string(kQueryGroupBody), cancel_,
        [this, pass, mac](std::string groupReply) { OnGroup(pass, mac, groupReply); });
}

void StatusPoller::OnGroup(const std::shared_ptr<Pass>& pass, const std::string& mac,
                           const std::string& reply) {
    if (!reply.empty() && MayStore()) {
        auto table = console_.table.Lock();
        Info record;
        if (table.Lookup(mac, record)) {
            ParseGroupReply(reply, record);
            table.Store(record);
        }
    }
    EndChain(pass, mac);
}

void StatusPoller::EndChain(const std::shared_ptr<Pass>& pass, const std::string& mac) {
    if (pass->remaining.fetch_sub(1) == 1)
        EndPass(*pass);
    // Last: once the set is empty, Stop may return and the poller may be destroyed.
    std::lock_guard lock(mutex_);
    inFlight_.erase(mac);
    wake_.notify_all();
}

void StatusPoller::EndPass(Pass& pass) {
    pass.stats.infoStored = pass.stored.load();
    pass.stats.elapsed = std::chrono::steady_clock::now() - pass.started;
    if (observer_)
        observer_(pass.stats);
}

}  // namespace vistrel
