#include "settings/common/group_page.h"

#include "protocol/codec.h"
#include "protocol/console.h"
#include "protocol/records.h"
#include "settings/common/batch_progress.h"
#include "settings/common/failure_text.h"
#include "settings/common/group_frame.h"

namespace vistrel {

// One batch in flight: its entries and the sink its answers come through. The sink is
// disconnected when the batch is forgotten, so no answer reaches a page that is gone.
struct CGroupPage::Batch {
    std::shared_ptr<BatchResult> result;
    std::unique_ptr<ReplySinkHolder> sink;
    size_t told = 0;
};

CGroupPage::CGroupPage(GroupFrame& frame, QWidget* frameWidget, QWidget* parent)
    : CSettingsPage(frame, frameWidget, parent), group_(frame) {
    settle_.setSingleShot(true);
    settle_.setInterval(kProgressSettle);
    connect(&settle_, &QTimer::timeout, this, [this] {
        SetControlsEnabled(true);
        emit answersComplete();
    });
}

CGroupPage::~CGroupPage() = default;

void CGroupPage::OnAnswer(const std::string&, const std::string&) {}

bool CGroupPage::Succeeded(const std::string& body, const std::string& reply) const {
    if (body.starts_with("set=group") && ReplyBeginsWith(reply, kGroupReplyPrefix))
        return true;
    return ContainsOk(reply);
}

std::string CGroupPage::FailureOf(const MsgCmd& answer) const {
    if (Succeeded(answer.body, answer.reply))
        return {};
    return (answer.ip.empty() ? std::string("a projector") : answer.ip) + " (" +
           FailureReason(answer.reply) + ")";
}

void CGroupPage::Expect(size_t count) {
    settle_.stop();
    pending_ += count;
    group_.Progress().Begin(count);
}

void CGroupPage::SendToGroup(const std::string& body, Path path, QWidget* clicked) {
    if (!Frame())
        return;
    if (path == Path::Batch) {
        const size_t count = group_.console().batch.size();
        if (count == 0)
            return;
        SetControlsEnabled(false);
        auto batch = std::make_unique<Batch>();
        Batch* raw = batch.get();
        batch->sink = std::make_unique<ReplySinkHolder>(
            this, [this, raw](uint32_t message, uintptr_t wparam, intptr_t) {
                OnBatchPost(raw, message, wparam);
            });
        // Answers are queued to this thread, so the count is set before the first arrives.
        Expect(count);
        batch->result = group_.SendBatchFor(body, batch->sink->Weak());
        batches_.push_back(std::move(batch));
        return;
    }
    const size_t count = group_.console().targetIps.size();
    if (count == 0)
        return;
    Expect(count);
    if (clicked)
        clicked->setEnabled(false);
    Send(body);
}

void CGroupPage::OnBatchPost(Batch* batch, uint32_t message, uintptr_t index) {
    if (message != kMsgReply)
        return;
    const MsgCmd entry = batch->result->Entry(index);
    ++batch->told;
    if (batch->told >= batch->result->Size())
        batches_.remove_if([batch](const std::unique_ptr<Batch>& b) { return b.get() == batch; });
    OnAnswer(entry.body, entry.reply);
    Answered(FailureOf(entry));
}

void CGroupPage::OnReply(const MsgCmd& slot) {
    OnAnswer(slot.body, slot.reply);
    Answered(FailureOf(slot));
}

void CGroupPage::OnDropped(const std::string&) {
    // The ring dropped it unsent (full, or superseded): no projector got it.
    Answered("a projector (not sent)");
}

void CGroupPage::Answered(const std::string& failure) {
    if (Frame())
        group_.Progress().Step(BarReturnsToZero(), failure);
    if (pending_ == 0)
        return;
    if (--pending_ == 0)
        settle_.start();
}

}  // namespace vistrel
