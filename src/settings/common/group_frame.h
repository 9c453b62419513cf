// What a page of the group dialog asks of its frame beyond what every page does: the batch path
// (one parallel request per addressed projector) and the progress bar that counts answers.
#pragma once

#include <memory>
#include <string>

#include "protocol/batch_sender.h"
#include "settings/common/settings_frame.h"

namespace vistrel {

class BatchProgress;

class GroupFrame : public PageFrame {
  public:
    // Sends `body` to every entry of the batch list in parallel; `owner` hears each answer
    // with the entry's index, which it reads from the returned result.
    virtual std::shared_ptr<BatchResult> SendBatchFor(const std::string& body,
                                                      const std::weak_ptr<ReplySink>& owner) = 0;
    // The same with `bodies[i]` for entry i of the batch list.
    virtual std::shared_ptr<BatchResult> SendBatchEach(const std::vector<std::string>& bodies,
                                                       const std::weak_ptr<ReplySink>& owner) = 0;
    virtual BatchProgress& Progress() = 0;
};

}  // namespace vistrel
