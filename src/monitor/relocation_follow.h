// Following a projector to its new address after a "set=network": the projector needs a
// moment to take the new address, so a probe sent at once is usually answered from the old
// one, or not at all. The follow-up probes again every second after the settle time until
// the projector answers from its new address or the wait is given up. Pure timing, no
// sockets: the caller probes and tells it when the projector was found.
#pragma once

#include <cstdint>

namespace vistrel {

inline constexpr uint32_t kRelocationProbeEveryMs = 1000;
inline constexpr uint32_t kRelocationGiveUpMs = 30000;

class RelocationFollow {
  public:
    enum class Action { kWait, kProbe, kGiveUp };

    // The relocation was submitted at `nowMs`, with a first probe sent then.
    void Start(uint32_t nowMs);
    void Stop() { active_ = false; }
    bool Active() const { return active_; }

    // What to do at `nowMs`: probe when the settle time has passed and the last probe is a
    // second old, give up (once; Active() is false afterwards) when the wait is over.
    Action Next(uint32_t nowMs, uint32_t settleMs);

  private:
    bool active_ = false;
    uint32_t startMs_ = 0;
    uint32_t lastProbeMs_ = 0;
};

}  // namespace vistrel
