// What a settings page asks of the dialog it sits in. Pages never talk to the ring or to each
// other directly.
//   - PageFrame: what every page uses (its requests, their replies, the notice line).
//   - SettingsFrame: the projector dialog, which also refreshes one projector's state and
//     follows it to a new address.
//   - GroupFrame (group_frame.h): the group dialog, which also sends to the whole batch list.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "protocol/records.h"
#include "protocol/reply_sink.h"

namespace vistrel {

struct Console;

class PageFrame {
  public:
    virtual ~PageFrame() = default;

    // Queues `body` for the frame's projectors with `owner` told of the reply.
    virtual void EnqueueFor(const std::string& body, const std::weak_ptr<ReplySink>& owner) = 0;
    // A copy of the ring slot that a reply message names.
    virtual MsgCmd ReadSlot(uint32_t index) const = 0;

    // The process-wide state (the model code, the target lists, the clock).
    virtual Console& console() = 0;

    // Tells the operator what went wrong (a failed request, an unusable reply) without
    // stopping their typing; an empty text clears it. A frame without a notice line
    // ignores it.
    virtual void ShowNotice(const std::string&) {}
};

class SettingsFrame : public PageFrame {
  public:
    virtual void Flush() = 0;
    virtual void QueryControl() = 0;
    virtual void QueryModel() = 0;

    // After a "set=network": ask the main window to follow the projector to its new address
    // and to re-query the frame's network settings when it answers from there (message
    // 0x590).
    virtual void RequestRelocationProbe() = 0;

    // Points the frame's projector address at where the list last heard the projector, when
    // that has changed.
    virtual void FollowTable() = 0;
};

}  // namespace vistrel
