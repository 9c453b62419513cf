#include "monitor/relocation_follow.h"

#include "protocol/records.h"

namespace vistrel {

void RelocationFollow::Start(uint32_t nowMs) {
    active_ = true;
    startMs_ = nowMs;
    lastProbeMs_ = nowMs;
}

RelocationFollow::Action RelocationFollow::Next(uint32_t nowMs, uint32_t settleMs) {
    if (!active_)
        return Action::kWait;
    const uint32_t elapsed = TickElapsed(nowMs, startMs_);
    if (elapsed >= kRelocationGiveUpMs) {
        active_ = false;
        return Action::kGiveUp;
    }
    // The answer must come after the settle time to count, so probing earlier is wasted.
    if (elapsed > settleMs && TickElapsed(nowMs, lastProbeMs_) >= kRelocationProbeEveryMs) {
        lastProbeMs_ = nowMs;
        return Action::kProbe;
    }
    return Action::kWait;
}

}  // namespace vistrel
