// What a settings page asks of the dialog it sits in. Both settings frames (the projector
// dialog and the group dialog) implement it; pages never talk to the ring or to each other
// directly.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "protocol/records.h"
#include "protocol/reply_sink.h"

namespace vistrel {

struct Console;

class SettingsFrame {
  public:
    virtual ~SettingsFrame() = default;

    // Queues `body` for the frame's projectors with `owner` told of the reply.
    virtual void EnqueueFor(const std::string& body, const std::weak_ptr<ReplySink>& owner) = 0;
    // A copy of the ring slot that a reply message names.
    virtual MsgCmd ReadSlot(uint32_t index) const = 0;

    virtual void Flush() = 0;
    virtual void QueryControl() = 0;
    virtual void QueryModel() = 0;

    // The process-wide state (the model code lives there).
    virtual Console& console() = 0;

    // After a "set=network": ask the main window to follow the projector to its new address
    // and to re-query the frame's network settings when it answers from there (message
    // 0x590). Frames that cannot wait for a relocation ignore it.
    virtual void RequestRelocationProbe() {}

    // Tells the operator what went wrong (a failed request, an unusable reply) without
    // stopping their typing; an empty text clears it. A frame without a notice line
    // ignores it.
    virtual void ShowNotice(const std::string&) {}

    // Points the frame's projector address at where the list last heard the projector, when
    // that has changed. Frames that address a fixed list ignore it.
    virtual void FollowTable() {}
};

}  // namespace vistrel
