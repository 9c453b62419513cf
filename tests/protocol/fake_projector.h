// Test doubles for the request ring and the batch: a projector that answers, fails, hangs
// until cancelled or ignores cancellation on cue, and a sink that records what it is told.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "protocol/reply_sink.h"
#include "protocol/request_sender.h"

namespace vistrel::test {

using namespace std::chrono_literals;

class FakeProjector {
  public:
    struct Call {
        std::string ip;
        std::string body;
        std::chrono::steady_clock::time_point at;
    };

    static std::string ReplyFor(const std::string& ip, const std::string& body) {
        return "<return>\n" + ip + " " + body;
    }

    // The sender holds a share of the fake, so a thread left behind never touches freed
    // memory.
    RequestSender Sender() const {
        std::shared_ptr<Shared> shared = shared_;
        return [shared](const std::string& ip, const std::string& body, std::string& reply,
                        const std::shared_ptr<CancelToken>& cancel) {
            return shared->Send(ip, body, reply, cancel);
        };
    }

    // Sends block on entry until permitted (one permit per send) or cancelled.
    void LimitPermits(size_t permits) {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->gated = true;
        shared_->permits = permits;
        shared_->cv.notify_all();
    }
    void Permit(size_t count = 1) {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->permits += count;
        shared_->cv.notify_all();
    }
    void Ungate() {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->gated = false;
        shared_->cv.notify_all();
    }
    // Bodies that fail, that hang until cancelled, and that hang until Release whatever.
    void FailOn(const std::string& body) { Add(shared_->failBodies, body); }
    void HangOn(const std::string& body) { Add(shared_->hangBodies, body); }
    void StickOn(const std::string& body) { Add(shared_->stuckBodies, body); }
    void Release() {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->released = true;
        shared_->cv.notify_all();
    }
    void SetDelay(std::chrono::milliseconds delay) {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->delay = delay;
    }

    std::vector<Call> Calls() const {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        return shared_->calls;
    }
    std::vector<std::string> Bodies() const {
        std::vector<std::string> bodies;
        for (const Call& call : Calls())
            bodies.push_back(call.body);
        return bodies;
    }
    bool WaitForCalls(size_t count, std::chrono::milliseconds timeout = 5s) const {
        std::unique_lock<std::mutex> lock(shared_->mutex);
        return shared_->cv.wait_for(lock, timeout, [&] { return shared_->calls.size() >= count; });
    }
    bool WaitForReturns(size_t count, std::chrono::milliseconds timeout = 5s) const {
        std::unique_lock<std::mutex> lock(shared_->mutex);
        return shared_->cv.wait_for(lock, timeout, [&] { return shared_->returned >= count; });
    }
    size_t Cancelled() const {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        return shared_->cancelled;
    }
    size_t MaxConcurrent() const {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        return shared_->maxConcurrent;
    }

  private:
    struct Shared {
        std::mutex mutex;
        std::condition_variable cv;
        std::vector<Call> calls;
        std::set<std::string> failBodies, hangBodies, stuckBodies;
        bool gated = false;
        size_t permits = 0;
        bool released = false;
        std::chrono::milliseconds delay{0};
        size_t cancelled = 0;
        size_t returned = 0;
        size_t concurrent = 0;
        size_t maxConcurrent = 0;

        bool Send(const std::string& ip, const std::string& body, std::string& reply,
                  const std::shared_ptr<CancelToken>& cancel) {
            std::unique_lock<std::mutex> lock(mutex);
            calls.push_back({ip, body, std::chrono::steady_clock::now()});
            ++concurrent;
            maxConcurrent = std::max(maxConcurrent, concurrent);
            cv.notify_all();
            auto cancelled_now = [&] { return cancel && cancel->IsCancelled(); };
            // Cancellation is polled: the fake stands in for a transfer that notices it.
            auto waitUntil = [&](auto done) {
                while (!done())
                    cv.wait_for(lock, 1ms);
            };
            bool ok = true;
            if (stuckBodies.count(body) != 0) {
                waitUntil([&] { return released; });
                ok = false;
            } else if (hangBodies.count(body) != 0) {
                waitUntil(cancelled_now);
                ok = false;
            } else {
                waitUntil([&] { return !gated || permits > 0 || cancelled_now(); });
                if (gated && permits > 0 && !cancelled_now())
                    --permits;
                ok = !cancelled_now() && failBodies.count(body) == 0;
                if (ok && delay.count() > 0) {
                    lock.unlock();
                    std::this_thread::sleep_for(delay);
                    lock.lock();
                }
            }
            if (cancelled_now())
                ++cancelled;
            reply = ok ? ReplyFor(ip, body) : std::string();
            --concurrent;
            ++returned;
            cv.notify_all();
            return ok;
        }
    };

    void Add(std::set<std::string>& bodies, const std::string& body) {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        bodies.insert(body);
    }

    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
};

class RecordingSink final : public ReplySink {
  public:
    struct Message {
        uint32_t message;
        uintptr_t wparam;
        intptr_t lparam;
        bool operator==(const Message&) const = default;
    };

    void Post(uint32_t message, uintptr_t wparam, intptr_t lparam) override {
        std::lock_guard<std::mutex> lock(mutex_);
        messages_.push_back({message, wparam, lparam});
        cv_.notify_all();
    }
    void Dropped(const std::string& body) override {
        std::lock_guard<std::mutex> lock(mutex_);
        dropped_.push_back(body);
        cv_.notify_all();
    }
    std::vector<Message> Messages() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return messages_;
    }
    std::vector<std::string> DroppedBodies() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return dropped_;
    }
    std::vector<uintptr_t> WParams(uint32_t message) const {
        std::vector<uintptr_t> out;
        for (const Message& m : Messages()) {
            if (m.message == message)
                out.push_back(m.wparam);
        }
        return out;
    }
    bool WaitForCount(size_t count, std::chrono::milliseconds timeout = 5s) const {
        std::unique_lock<std::mutex> lock(mutex_);
        return cv_.wait_for(lock, timeout, [&] { return messages_.size() >= count; });
    }
    template <typename Pred>
    bool WaitFor(Pred pred, std::chrono::milliseconds timeout = 5s) const {
        std::unique_lock<std::mutex> lock(mutex_);
        return cv_.wait_for(lock, timeout, [&] { return pred(messages_); });
    }

  private:
    mutable std::mutex mutex_;
    mutable std::condition_variable cv_;
    std::vector<Message> messages_;
    std::vector<std::string> dropped_;
};

}  // namespace vistrel::test
