#include "settings/common/task_page.h"

#include <QPushButton>

#include "protocol/console.h"
#include "settings/common/settings_frame.h"
#include "store/reg_store.h"

namespace vistrel {

CTaskPage::CTaskPage(PageFrame& frame, QWidget* frameWidget, QWidget* parent, RegStore& store,
                     const LocalTime& zone)
    : CSettingsPage(frame, frameWidget, parent), store_(store), zone_(zone) {
    rows_ = new TaskRows(this, members_, zone);
    connect(rows_->applyButton(), &QPushButton::clicked, this, &CTaskPage::Apply);
}

void CTaskPage::Load() {
    PageFrame* frame = Frame();
    if (!frame)
        return;
    const Console& console = frame->console();
    TaskSet tasks;
    {
        RegStore::Batch batch(store_);
        tasks = ReadTaskSet(
            [&](int index, SchedTask* task) { return ReadStoredTask(console, index, task); },
            console.clock.Now());
    }
    // A group's own keys are not moved on when its projectors' tasks fire: the page does it.
    TaskRows::MoveOnPast(tasks, console.clock.Now(), zone_);
    rows_->SetMembers(tasks);
    rows_->WriteControls();
}

void CTaskPage::Apply() {
    rows_->ReadControls();
    PageFrame* frame = Frame();
    if (!frame)
        return;
    Console& console = frame->console();
    const auto tasks = rows_->TasksToApply(this, console.clock.Now());
    if (!tasks)
        return;
    // A projector that is not in the table gets nothing, in the table or in the store.
    TellIfNotStored(this, ApplyTasks(console.table, store_, Targets(console), *tasks, GroupKey()),
                    store_);
}

}  // namespace vistrel
