#include "settings/shared/prj_scheduler.h"

#include <QPushButton>

#include "protocol/console.h"
#include "settings/common/settings_frame.h"
#include "store/reg_store.h"

namespace vistrel {

namespace {

std::string TargetMac(const Console& console) {
    return console.targetMacs.empty() ? std::string() : console.targetMacs.front();
}

}  // namespace

CPrjScheduler::CPrjScheduler(SettingsFrame& frame, QWidget* frameWidget, QWidget* parent,
                             RegStore& store, const LocalTime& zone)
    : CSettingsPage(frame, frameWidget, parent), store_(store), zone_(zone) {
    setObjectName(QStringLiteral("CPrjScheduler"));
    rows_ = new TaskRows(this, members_, zone);
    connect(rows_->applyButton(), &QPushButton::clicked, this, &CPrjScheduler::Apply);
    Load();
}

void CPrjScheduler::Load() {
    SettingsFrame* frame = Frame();
    if (!frame)
        return;
    const std::string mac = TargetMac(frame->console());
    TaskSet tasks;
    {
        RegStore::Batch batch(store_);
        tasks = ReadTaskSet(
            [&](int index, SchedTask* task) { return store_.ReadProjectorTask(mac, index, task); },
            frame->console().clock.Now());
    }
    TaskRows::MoveOnPast(tasks, frame->console().clock.Now(), zone_);
    rows_->SetMembers(tasks);
    rows_->WriteControls();
}

void CPrjScheduler::Apply() {
    rows_->ReadControls();
    SettingsFrame* frame = Frame();
    if (!frame)
        return;
    Console& console = frame->console();
    const auto tasks = rows_->TasksToApply(this, console.clock.Now());
    if (!tasks)
        return;
    // A projector that is not in the table gets nothing, in the table or in the store.
    TellIfNotStored(this, ApplyTasks(console.table, store_, {TargetMac(console)}, *tasks), store_);
}

}  // namespace vistrel
