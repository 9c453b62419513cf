// The process-wide state of one console: the projector table with its lock, the target
// lists and the batch entries. One object per console, so tests can build several.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "protocol/background_posts.h"
#include "protocol/clock.h"
#include "protocol/network_profile.h"
#include "protocol/presence_events.h"
#include "protocol/records.h"

namespace vistrel {

// Projectors keyed by mac, in the order they were first seen. Entries are never removed.
// All access goes through a Guard, which holds the table's non-recursive lock.
class ProjectorTable {
  public:
    class Guard {
      public:
        explicit Guard(ProjectorTable& table) : table_(table), lock_(table.mutex_) {
            ++heldByThisThread_;
        }
        Guard(Guard&& other) noexcept : table_(other.table_), lock_(std::move(other.lock_)) {}
        ~Guard() {
            if (lock_.owns_lock())
                --heldByThisThread_;
        }

        // Copies the record out; false when the mac is unknown.
        bool Lookup(const std::string& mac, Info& out) const;
        // Copies a whole record in under its mac, appending it when new.
        void Store(const Info& info);
        // In-place access for the few fields changed under the lock (freshness,
        // relocation). Null when unknown. Valid only while this guard lives.
        Info* Find(const std::string& mac);
        const Info* Find(const std::string& mac) const;
        // Records in table order.
        const std::vector<Info>& Records() const { return table_.records_; }
        std::vector<Info>& Records() { return table_.records_; }
        size_t Size() const { return table_.records_.size(); }

      private:
        ProjectorTable& table_;
        std::unique_lock<std::mutex> lock_;
    };

    Guard Lock() { return Guard(*this); }

    // True while the calling thread holds a projector table's lock. Network code checks it
    // (in tests and soaks): the lock is never to be held across a request.
    static bool HeldByThisThread() { return heldByThisThread_ > 0; }

  private:
    inline static thread_local int heldByThisThread_ = 0;
    std::mutex mutex_;
    std::vector<Info> records_;
    std::unordered_map<std::string, size_t> index_;
};

// Projectors (by address) whose status just changed on command: the polling asks them at
// its next pass instead of waiting out their 15 seconds. Thread-safe.
class PollRequests {
  public:
    void Add(const std::string& ip) {
        std::lock_guard lock(mutex_);
        if (std::find(ips_.begin(), ips_.end(), ip) == ips_.end())
            ips_.push_back(ip);
    }
    std::vector<std::string> Take() {
        std::lock_guard lock(mutex_);
        return std::exchange(ips_, {});
    }

  private:
    std::mutex mutex_;
    std::vector<std::string> ips_;
};

struct Console {
    explicit Console(NetworkProfile networkProfile = {},
                     const Clock& clockRef = SystemClock::Instance())
        : profile(std::move(networkProfile)), clock(clockRef) {}

    NetworkProfile profile;
    const Clock& clock;

    ProjectorTable table;

    // Written by the GUI thread only; read by request threads it starts.
    std::vector<std::string> targetIps;
    std::vector<std::string> targetMacs;
    std::vector<MsgCmd> batch;

    // One-character model code of the last "query=model" reply.
    std::string modelCode;
    std::atomic<bool> autoSearchEnabled{true};
    std::atomic<bool> refreshNow{false};
    PollRequests pollSoon;
    // Told when discovery and polling learn whether a projector answers (fleet health).
    PresenceEvents presence;

    // Requests whose reply nobody reads ("set=network"); cancelled at shutdown. Declared
    // last, so its threads are joined before anything they might read goes away.
    BackgroundPosts background;
};

}  // namespace vistrel
