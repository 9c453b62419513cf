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
    options_.lanes = std::max<size_t>(options_.lanes, 1);
    if (!transport_) {
        HttpOptions http = options_.http;
        http.port = console_.profile.httpPort;
        transport_ = std::make_shared<HttpPollTransport>(http);
    }
}

StatusPoller::~StatusPoller() {
    Stop();
}

void StatusPoller::StartPolling() {
    if (thread_.joinable() || StopSignalled())
        return;
    thread_ = std::thread([this] { Run(); });
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

void StatusPoller::Run() {
    std::vector<Info> snapshot;
    while (!StopSignalled()) {
        if (!console_.autoSearchEnabled.load()) {
            if (!console_.refreshNow.exchange(false)) {
                SleepFor(options_.idleSleep);
                continue;
            }
        }
        if (!SleepFor(options_.pause))
            break;
        if (!WaitWhilePaused())
            break;

        PollPassStats stats;
        const auto started = std::chrono::steady_clock::now();
        snapshot.clear();
        {
            auto table = console_.table.Lock();
            for (const Info& record : table.Records()) {
                if (record.freshness > kPollThreshold)
                    snapshot.push_back(record);
            }
        }
        stats.pass = passes_.fetch_add(1) + 1;
        stats.snapshot = snapshot.size();
        RunPass(snapshot, stats);
        stats.elapsed = std::chrono::steady_clock::now() - started;
        if (observer_)
            observer_(stats);
    }
}

bool StatusPoller::Due(const Info& entry) const {
    if (entry.relocating || entry.ip == kUnusableAddress)
        return false;
    return TickElapsed(console_.clock.TickMs(), entry.pollTick) >= options_.minIntervalMs;
}

void StatusPoller::RunPass(const std::vector<Info>& snapshot, PollPassStats& stats) {
    std::atomic<size_t> next{0};
    std::atomic<size_t> polled{0};
    std::atomic<size_t> stored{0};
    const size_t due = static_cast<size_t>(
        std::count_if(snapshot.begin(), snapshot.end(), [this](const Info& e) { return Due(e); }));
    const size_t lanes = std::min(options_.lanes, due);
    if (lanes <= 1) {
        PollLane(snapshot, next, polled, stored);
    } else {
        std::vector<std::thread> helpers;
        helpers.reserve(lanes - 1);
        for (size_t i = 1; i < lanes; ++i) {
            helpers.emplace_back([&] { PollLane(snapshot, next, polled, stored); });
        }
        PollLane(snapshot, next, polled, stored);
        for (std::thread& helper : helpers)
            helper.join();
    }
    stats.polled = polled.load();
    stats.infoStored = stored.load();
}

// Lanes take snapshot entries in table order; with one lane this is the plain sequential
// pass.
void StatusPoller::PollLane(const std::vector<Info>& snapshot, std::atomic<size_t>& next,
                            std::atomic<size_t>& polled, std::atomic<size_t>& stored) {
    for (size_t i = next.fetch_add(1); i < snapshot.size(); i = next.fetch_add(1)) {
        if (StopSignalled())
            return;
        const Info& entry = snapshot[i];
        if (!Due(entry))
            continue;
        polled.fetch_add(1);
        if (PollOne(entry))
            stored.fetch_add(1);
    }
}

bool StatusPoller::PollOne(const Info& entry) {
    bool infoStored = false;
    if (!WaitWhilePaused())
        return false;
    std::string reply = transport_->Post(entry.ip, std::string(kQueryInfoBody), cancel_);
    if (!reply.empty()) {
        if (!WaitWhilePaused())
            return false;
        auto table = console_.table.Lock();
        Info record;
        if (table.Lookup(entry.mac, record)) {
            ParseInfoReply(reply, record);
            record.pollTick = console_.clock.TickMs();
            table.Store(record);
            infoStored = true;
        }
    }
    if (StopSignalled())
        return infoStored;

    // The group request goes out whatever became of the info request.
    if (!WaitWhilePaused())
        return infoStored;
    reply = transport_->Post(entry.ip, std::string(kQueryGroupBody), cancel_);
    if (!reply.empty()) {
        if (!WaitWhilePaused())
            return infoStored;
        auto table = console_.table.Lock();
        Info record;
        if (table.Lookup(entry.mac, record)) {
            ParseGroupReply(reply, record);
            table.Store(record);
        }
    }
    return infoStored;
}

}  // namespace vistrel
