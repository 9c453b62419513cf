#include "settings/shared/grp_scheduler.h"

#include <QPushButton>

#include "protocol/console.h"
#include "settings/common/settings_frame.h"
#include "store/reg_store.h"

namespace vistrel {

CGrpScheduler::CGrpScheduler(SettingsFrame& frame, QWidget* frameWidget, QWidget* parent,
                             RegStore& store, const std::string& group, const LocalTime& zone)
    : CSettingsPage(frame, frameWidget, parent), store_(store), zone_(zone), group_(group) {
    setObjectName(QStringLiteral("CGrpScheduler"));
    rows_ = new TaskRows(this, members_, zone);
    connect(rows_->applyButton(), &QPushButton::clicked, this, &CGrpScheduler::Apply);
    Load();
}

void CGrpScheduler::Load() {
    SettingsFrame* frame = Frame();
    if (!frame)
        return;
    TaskSet tasks;
    {
        RegStore::Batch batch(store_);
        tasks = ReadTaskSet(
            [&](int index, SchedTask* task) { return store_.ReadGroupTask(group_, index, task); },
            frame->console().clock.Now());
    }
    // The group's own keys are not moved on when its projectors' tasks fire.
    TaskRows::MoveOnPast(tasks, frame->console().clock.Now(), zone_);
    rows_->SetMembers(tasks);
    rows_->WriteControls();
}

void CGrpScheduler::Apply() {
    rows_->ReadControls();
    SettingsFrame* frame = Frame();
    if (!frame)
        return;
    Console& console = frame->console();
    const auto tasks = rows_->TasksToApply(this, console.clock.Now());
    if (!tasks)
        return;
    TellIfNotStored(this, ApplyTasks(console.table, store_, console.targetMacs, *tasks, group_),
                    store_);
}

}  // namespace vistrel
