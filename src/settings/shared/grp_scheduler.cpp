#include "settings/shared/grp_scheduler.h"

#include <QPushButton>

#include "protocol/console.h"
#include "settings/common/settings_frame.h"
#include "store/reg_store.h"

namespace vistrel {

CGrpScheduler::CGrpScheduler(SettingsFrame& frame, QWidget* frameWidget, QWidget* parent,
                             RegStore& store, const std::string& group, const LocalTime& zone)
    : CSettingsPage(frame, frameWidget, parent), store_(store), group_(group) {
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
    rows_->SetMembers(tasks);
    rows_->WriteControls();
}

void CGrpScheduler::Apply() {
    rows_->ReadControls();
    SettingsFrame* frame = Frame();
    if (!frame)
        return;
    Console& console = frame->console();
    TellIfNotStored(
        this, ApplyTasks(console.table, store_, console.targetMacs, rows_->BuildTasks(), group_),
        store_);
}

}  // namespace vistrel
