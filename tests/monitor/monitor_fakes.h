// Test doubles for the monitor tests: a clock the test moves by hand, a relocation window
// that counts its re-queries, and a projector peer that scripts replies per address.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "monitor/discovery.h"
#include "monitor/poll_transport.h"
#include "protocol/clock.h"
#include "protocol/network_profile.h"

namespace vistrel::test {

class ManualClock final : public Clock {
  public:
    explicit ManualClock(uint32_t tick = 100000) : tick_(tick) {}
    uint32_t TickMs() const override { return tick_.load(); }
    int64_t Now() const override { return 1700000000; }
    void Set(uint32_t tick) { tick_.store(tick); }
    void Advance(uint32_t ms) { tick_.fetch_add(ms); }

  private:
    std::atomic<uint32_t> tick_;
};

// A profile that can only ever reach loopback; the real defaults are never used in tests.
inline NetworkProfile LoopbackProfile(const std::string& bind = "127.0.3.1",
                                      const std::string& broadcast = "127.0.3.2",
                                      uint16_t port = 0) {
    NetworkProfile profile;
    profile.bindAddress = bind;
    profile.broadcastAddress = broadcast;
    profile.discoveryPort = port;
    profile.httpPort = 0;
    return profile;
}

class CountingWindow final : public RelocationWindow {
  public:
    explicit CountingWindow(std::function<void()> onQuery = {}) : onQuery_(std::move(onQuery)) {}
    void QueryNetwork() override {
        ++queries;
        if (onQuery_)
            onQuery_();
    }
    void RelocationLost() override { ++lost; }
    std::string ExpectedAddress() const override { return expected; }
    std::string expected;
    int queries = 0;
    int lost = 0;

  private:
    std::function<void()> onQuery_;
};

// Scripted projectors keyed by address. Records every request in order.
class ScriptedPeer final : public PollTransport {
  public:
    struct Request {
        std::string ip;
        std::string body;
    };
    // Reply for (ip, body); empty means the exchange failed.
    using Responder = std::function<std::string(const std::string& ip, const std::string& body)>;

    explicit ScriptedPeer(Responder responder) : responder_(std::move(responder)) {}

    // Addresses whose requests never finish until cancelled (or `hangLimit` passes, the
    // stand-in for the transport's time limit).
    void Hang(const std::string& ip, std::chrono::milliseconds hangLimit = std::chrono::hours(1)) {
        std::lock_guard lock(mutex_);
        hung_[ip] = hangLimit;
    }

    std::string Post(const std::string& ip, const std::string& body,
                     const std::shared_ptr<CancelToken>& cancel) override {
        return Answer(ip, body, cancel, Record(ip, body));
    }

    // Answers at once on the caller's thread, except a hung address, which answers empty
    // from a thread of its own when cancelled or at its limit, as the engine would.
    void PostAsync(const std::string& ip, const std::string& body,
                   const std::shared_ptr<CancelToken>& cancel, Done done) override {
        const std::chrono::milliseconds hang = Record(ip, body);
        if (hang.count() == 0) {
            done(Answer(ip, body, cancel, hang));
            return;
        }
        std::lock_guard lock(mutex_);
        waiters_.emplace_back([this, ip, body, cancel, hang, done = std::move(done)] {
            done(Answer(ip, body, cancel, hang));
        });
    }

    ~ScriptedPeer() override {
        std::vector<std::thread> waiters;
        {
            std::lock_guard lock(mutex_);
            waiters.swap(waiters_);
        }
        for (std::thread& waiter : waiters)
            waiter.join();
    }

    std::vector<Request> Requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }
    size_t Count() const {
        std::lock_guard lock(mutex_);
        return requests_.size();
    }
    size_t CountFor(const std::string& ip) const {
        std::lock_guard lock(mutex_);
        size_t n = 0;
        for (const Request& r : requests_)
            n += r.ip == ip;
        return n;
    }

  private:
    // Notes the request; returns how long it hangs (0: it does not).
    std::chrono::milliseconds Record(const std::string& ip, const std::string& body) {
        std::lock_guard lock(mutex_);
        requests_.push_back({ip, body});
        auto it = hung_.find(ip);
        return it == hung_.end() ? std::chrono::milliseconds(0) : it->second;
    }

    std::string Answer(const std::string& ip, const std::string& body,
                       const std::shared_ptr<CancelToken>& cancel, std::chrono::milliseconds hang) {
        if (hang.count() > 0) {
            const auto until = std::chrono::steady_clock::now() + hang;
            while (std::chrono::steady_clock::now() < until) {
                if (cancel && cancel->IsCancelled())
                    return {};
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            return {};
        }
        if (cancel && cancel->IsCancelled())
            return {};
        return responder_(ip, body);
    }

    Responder responder_;
    mutable std::mutex mutex_;
    std::vector<Request> requests_;
    std::map<std::string, std::chrono::milliseconds> hung_;
    std::vector<std::thread> waiters_;
};

// Polls `done` every few milliseconds until it holds or `limit` passes.
inline bool WaitUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace vistrel::test
