// The polling: keeps the status fields of every live projector current by asking it
// "query=info" and then "query=group" at most every 15 seconds, and stores the decoded
// replies in the projector table. One thread looks for due projectors; the exchanges run
// on the HTTP engine, so each projector keeps its own rhythm and a hung one delays nobody
// else. The table lock is never held across a request.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "monitor/poll_transport.h"
#include "protocol/console.h"

namespace vistrel {

inline constexpr uint32_t kPollThreshold = 3;  // polled while freshness is above this

struct PollerOptions {
    // Pause before every pass.
    std::chrono::milliseconds pause{1000};
    // Sleep between looks at refreshNow while auto search is off.
    std::chrono::milliseconds idleSleep{5000};
    // Least time between two info polls of one projector, counted from when the reply to
    // the earlier one was stored.
    uint32_t minIntervalMs = 15000;
    // Most projectors one look starts; the rest of those due follow `burstGap` later. A
    // fleet that falls due all at once (the first pass) is spread this way, and as each
    // projector's next poll is counted from its own reply, it stays spread.
    size_t maxStartsPerLook = 128;
    std::chrono::milliseconds burstGap{100};
    // Limits of one exchange; the port is replaced by the profile's HTTP port. Used for an
    // engine of the poller's own when neither a transport nor `engine` is given.
    HttpOptions http{};
    std::shared_ptr<HttpEngine> engine;
    ThreadStarter threadStarter;
};

// What one pass did, for tests and measurements. A pass ends when the last projector it
// started has had its group reply; the next pass does not wait for that.
struct PollPassStats {
    uint64_t pass = 0;                              // 1 for the first pass
    size_t snapshot = 0;                            // records with freshness above the threshold
    size_t polled = 0;                              // projectors sent "query=info"
    size_t infoStored = 0;                          // non-empty info replies stored
    std::chrono::steady_clock::duration elapsed{};  // from snapshot to the end of the pass
};

class StatusPoller {
  public:
    using PassObserver = std::function<void(const PollPassStats&)>;

    // With no transport, polls over HTTP on console.profile.httpPort.
    explicit StatusPoller(Console& console, PollerOptions options = {},
                          std::shared_ptr<PollTransport> transport = nullptr);
    ~StatusPoller();
    StatusPoller(const StatusPoller&) = delete;
    StatusPoller& operator=(const StatusPoller&) = delete;

    // Starts the thread. Once per object. When no thread can be started, polling does not
    // run and the reason is reported once.
    void StartPolling();
    // Signals the stop event, cancels the requests in flight and waits for the thread.
    // Returns promptly even when a projector hangs. Safe to call more than once.
    void Stop();
    bool Running() const { return thread_.joinable(); }

    // While paused (a settings dialog is open) no request is started and no reply is
    // stored. Checked between requests, never while the table lock is held.
    void Pause();
    void Resume();
    bool Paused() const;

    // Called at the end of every pass that took a snapshot, with no lock held, on the
    // polling thread or the engine's. Set before StartPolling.
    void SetPassObserver(PassObserver observer) { observer_ = std::move(observer); }

    uint64_t Passes() const { return passes_.load(); }

  private:
    struct Pass;
    void Run();
    // Starts every due projector; returns how long until the next one falls due.
    std::chrono::milliseconds RunPass();
    void PollInfo(const std::shared_ptr<Pass>& pass, const std::string& mac, const std::string& ip);
    void OnInfo(const std::shared_ptr<Pass>& pass, const std::string& mac, const std::string& ip,
                const std::string& reply);
    void OnGroup(const std::shared_ptr<Pass>& pass, const std::string& mac,
                 const std::string& reply);
    void EndChain(const std::shared_ptr<Pass>& pass, const std::string& mac);
    void EndPass(Pass& pass);
    // Replies are stored only while running and not paused.
    bool MayStore() const;
    // Waits `duration` unless stopped; false when stopped.
    bool SleepFor(std::chrono::milliseconds duration);
    // Waits while paused; false when stopped.
    bool WaitWhilePaused();
    bool StopSignalled() const;

    Console& console_;
    PollerOptions options_;
    std::shared_ptr<PollTransport> transport_;
    std::shared_ptr<CancelToken> cancel_;
    PassObserver observer_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool pollStopEvent_ = false;  // manual reset, signalled once at shutdown
    bool paused_ = false;
    std::atomic<bool> stopFlag_{false};  // pollStopEvent_ readable without the mutex

    std::atomic<uint64_t> passes_{0};
    // Projectors with an exchange in flight: never asked twice at once. Guarded by mutex_.
    std::set<std::string> inFlight_;
    std::thread thread_;
};

}  // namespace vistrel
