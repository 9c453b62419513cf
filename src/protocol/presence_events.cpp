#include "protocol/presence_events.h"

namespace vistrel {

void PresenceEvents::Subscribe(std::weak_ptr<PresenceObserver> observer) {
    std::lock_guard lock(mutex_);
    std::erase_if(observers_, [](const auto& o) { return o.expired(); });
    observers_.push_back(std::move(observer));
    active_.store(true, std::memory_order_release);
}

void PresenceEvents::Tell(PresenceEvent event, const Info& record) const {
    if (!Active())
        return;
    std::vector<std::shared_ptr<PresenceObserver>> live;
    {
        std::lock_guard lock(mutex_);
        for (const auto& weak : observers_) {
            if (auto strong = weak.lock())
                live.push_back(std::move(strong));
        }
    }
    // Outside the lock: an observer may subscribe another.
    for (const auto& observer : live)
        observer->OnPresence(event, record);
}

}  // namespace vistrel
