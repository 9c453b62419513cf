// The base of the group dialog's pages: every action goes to all addressed projectors, by
// one of two paths, and the page waits for every answer before it takes the next.
//   - Batch path: one parallel request per projector; the whole page is disabled.
//   - Queue path: through the request ring, one projector after the other; only the clicked
//     control is disabled.
// Either way the frame's progress bar counts the answers, and half a second after the last
// one the page's controls are all enabled again (and the bar goes back to 0, unless the page
// keeps it showing its count). A request the ring drops unsent (ring
// full, or superseded) counts as answered: no reply will ever come for it.
//
// A derived page lists its controls in SetControlsEnabled and may look at each answer in
// OnAnswer.
#pragma once

#include <QTimer>
#include <functional>
#include <list>
#include <memory>
#include <string>

#include "settings/common/settings_page.h"

namespace vistrel {

class BatchResult;
struct Console;
class GroupFrame;

class CGroupPage : public CSettingsPage {
    Q_OBJECT
  public:
    enum class Path { Batch, Queue };

    CGroupPage(GroupFrame& frame, QWidget* frameWidget, QWidget* parent);
    ~CGroupPage() override;

    // Answers still expected.
    size_t Pending() const { return pending_; }
    // True from a send until the page's controls are enabled again.
    bool Waiting() const { return pending_ > 0 || settle_.isActive(); }

  signals:
    // The page's controls were enabled again after the last answer.
    void answersComplete();

  protected:
    // Sends `body` to every addressed projector. On the queue path `clicked` is the control
    // that stays disabled until the answers are in.
    void SendToGroup(const std::string& body, Path path, QWidget* clicked = nullptr);
    // The frame, or null once its window has gone.
    GroupFrame* Frame() const;
    // The console whose batch list and table the page addresses.
    Console& GroupConsole();
    // Batch path with `bodies[i]` for the i-th addressed projector; an empty body leaves that
    // projector out.
    void SendEachToGroup(const std::vector<std::string>& bodies);

    // Enables or disables every control of the page together.
    virtual void SetControlsEnabled(bool enabled) = 0;
    // One projector's answer to `body` (empty on failure). The default ignores it.
    virtual void OnAnswer(const std::string& body, const std::string& reply);
    // The same with the projector's address; the default passes body and reply on.
    virtual void OnEntryAnswer(const MsgCmd& entry);
    // Whether an answer says the projector did what `body` asked; a failure is named on the
    // frame's bar. The default: an OK result, or for "set=group" the names echoed back.
    virtual bool Succeeded(const std::string& body, const std::string& reply) const;
    // Whether the frame's bar goes back to 0 half a second after this page's last answer;
    // false leaves it showing the count.
    virtual bool BarReturnsToZero() const { return true; }

    void OnReply(const MsgCmd& slot) final;
    void OnDropped(const std::string& body) final;

  private:
    struct Batch;
    void Expect(size_t count);
    // Starts one batch of `count` entries through `send`, which is given the batch's sink.
    void SendBatch(
        size_t count,
        const std::function<std::shared_ptr<BatchResult>(const std::weak_ptr<ReplySink>&)>& send);
    // `failure`: "address (why)", or empty when the answer was a success.
    void Answered(const std::string& failure);
    std::string FailureOf(const MsgCmd& answer) const;
    void OnBatchPost(Batch* batch, uint32_t message, uintptr_t index);

    GroupFrame& group_;
    size_t pending_ = 0;
    QTimer settle_;
    std::list<std::unique_ptr<Batch>> batches_;
};

}  // namespace vistrel
