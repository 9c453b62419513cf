// What discovery and polling learn about whether each projector answers, told to whoever
// keeps track of it (the fleet health model). Nothing here changes how the console monitors;
// with no observer, telling costs one atomic read.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "protocol/records.h"

namespace vistrel {

enum class PresenceEvent {
    kSeen,        // a discovery answer refreshed the record
    kDropped,     // its freshness fell below what the list shows: the presence rules dropped it
    kAnswered,    // an info reply was stored in the record
    kPollFailed,  // an info request came back empty
};

// Told on the thread that learned it (the discovery owner's, the polling thread's or the HTTP
// engine's), never with the projector table locked, so it may take its own locks. The record
// is a copy of the table's as it was just after the change.
class PresenceObserver {
  public:
    virtual ~PresenceObserver() = default;
    virtual void OnPresence(PresenceEvent event, const Info& record) = 0;
};

// The console's list of observers. Thread-safe; observers are held weakly, so one that goes
// away needs no unsubscribing.
class PresenceEvents {
  public:
    void Subscribe(std::weak_ptr<PresenceObserver> observer);
    // Lets callers skip copying records when nobody listens.
    bool Active() const { return active_.load(std::memory_order_acquire); }
    void Tell(PresenceEvent event, const Info& record) const;

  private:
    mutable std::mutex mutex_;
    std::vector<std::weak_ptr<PresenceObserver>> observers_;
    std::atomic<bool> active_{false};
};

}  // namespace vistrel
