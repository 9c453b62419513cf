#include "settings/common/task_rows.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLocale>
#include <QPushButton>

#include "controls/message_box.h"

#include "schedule/task_timing.h"
#include "settings/common/settings_page.h"
#include "store/reg_store.h"

namespace vistrel {

namespace {

constexpr int kRowTop = 14;
constexpr int kRowHeight = 78;

QDateTime FromValue(int64_t value) {
    return QDateTime::fromSecsSinceEpoch(value);
}

// The pickers hold a full moment even where they show only a time of day or a date; the
// widest range keeps Qt from pinning a time-only picker to the day it was first given.
void SetPicker(QDateTimeEdit* picker, int64_t value) {
    picker->clearMinimumDateTime();
    picker->clearMaximumDateTime();
    picker->setDateTime(FromValue(value));
}

int32_t ClampIndex(int32_t index, int count) {
    return index >= 0 && index < count ? index : 0;
}

}  // namespace

TaskSet ReadTaskSet(const std::function<int(int, SchedTask*)>& read, int64_t now) {
    TaskSet tasks;
    for (int index = 0; index < kTaskCount; ++index) {
        SchedTask& task = tasks[static_cast<size_t>(index)];
        if (!read(index, &task))
            task = SchedTask{0, 0, now, now, now, 0};
    }
    return tasks;
}

void TellIfNotStored(QWidget* page, const TaskApplyResult& result, const RegStore& store) {
    if (result.stored)
        return;
    ShowWarning(page, QStringLiteral("The scheduled tasks could not be saved."), false,
                QString::fromStdString(store.LastError()));
}

TaskRows::TaskRows(QWidget* page, TaskMembers& members, const LocalTime& zone)
    : QObject(page), members_(members), zone_(zone) {
    auto named = [](QWidget* widget, int id) { widget->setObjectName(ControlName(id)); };
    const QString dateFormat = QLocale().dateFormat(QLocale::ShortFormat);
    for (size_t i = 0; i < kTaskCount; ++i) {
        const int top = kRowTop + static_cast<int>(i) * kRowHeight;

        auto* check = new QCheckBox(QStringLiteral("Task %1").arg(i + 1), page);
        named(check, kCheck[i]);
        check->setGeometry(16, top, 80, 24);
        connect(check, &QCheckBox::clicked, this, [this] {
            ReadControls();
            ApplyEnableState();
        });
        checks_[i] = check;

        auto* command = new QComboBox(page);
        named(command, kCommand[i]);
        command->addItems({QStringLiteral("Power On"), QStringLiteral("Power Off")});
        command->setGeometry(104, top, 120, 24);
        commands_[i] = command;

        auto* period = new QComboBox(page);
        named(period, kPeriod[i]);
        for (const char* label : kPeriodLabels)
            period->addItem(QString::fromLatin1(label));
        period->setGeometry(236, top, 120, 24);
        periods_[i] = period;

        auto* label = new QLabel(QStringLiteral("Starting date:"), page);
        label->setGeometry(104, top + 34, 100, 24);

        auto* time = new QDateTimeEdit(page);
        named(time, kTime[i]);
        time->setDisplayFormat(QStringLiteral("HH:mm:ss"));
        time->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
        time->setGeometry(208, top + 34, 100, 24);
        times_[i] = time;

        auto* date = new QDateTimeEdit(page);
        named(date, kDate[i]);
        date->setDisplayFormat(dateFormat);
        date->setCalendarPopup(true);
        date->setGeometry(318, top + 34, 130, 24);
        dates_[i] = date;
    }
    apply_ = new QPushButton(QStringLiteral("Apply"), page);
    named(apply_, kApply);
    apply_->setGeometry(400, 328, 88, 28);
}

void TaskRows::SetMembers(const TaskSet& tasks) {
    loaded_ = tasks;
    for (size_t i = 0; i < kTaskCount; ++i) {
        const SchedTask& task = tasks[i];
        members_.taskEnabled[i] = task.enabled;
        members_.period[i] = task.period;
        members_.command[i] = task.command;
        members_.time[i] = task.time;
        members_.date[i] = task.date;
    }
}

void TaskRows::WriteControls() {
    for (size_t i = 0; i < kTaskCount; ++i) {
        checks_[i]->setChecked(members_.taskEnabled[i] != 0);
        // A value outside a list (a hand-edited store) shows as the list's first entry.
        commands_[i]->setCurrentIndex(ClampIndex(members_.command[i], commands_[i]->count()));
        periods_[i]->setCurrentIndex(ClampIndex(members_.period[i], periods_[i]->count()));
        SetPicker(times_[i], members_.time[i]);
        SetPicker(dates_[i], members_.date[i]);
    }
    ApplyEnableState();
}

void TaskRows::ReadControls() {
    for (size_t i = 0; i < kTaskCount; ++i) {
        members_.taskEnabled[i] = checks_[i]->isChecked() ? 1 : 0;
        members_.command[i] = commands_[i]->currentIndex();
        members_.period[i] = periods_[i]->currentIndex();
        members_.time[i] = times_[i]->dateTime().toSecsSinceEpoch();
        members_.date[i] = dates_[i]->dateTime().toSecsSinceEpoch();
    }
}

void TaskRows::ApplyEnableState() {
    for (size_t i = 0; i < kTaskCount; ++i) {
        const bool enabled = members_.taskEnabled[i] != 0;
        commands_[i]->setEnabled(enabled);
        periods_[i]->setEnabled(enabled);
        times_[i]->setEnabled(enabled);
        dates_[i]->setEnabled(enabled);
    }
}

TaskSet TaskRows::BuildTasks() const {
    TaskSet tasks;
    for (size_t i = 0; i < kTaskCount; ++i) {
        SchedTask& task = tasks[i];
        task.enabled = members_.taskEnabled[i];
        task.period = members_.period[i];
        task.command = members_.command[i];
        task.time = members_.time[i];
        task.date = members_.date[i];
        // Should the zone fail to combine them, the date itself is the best guess left.
        if (!TaskStart(task.time, task.date, zone_, task.start))
            task.start = task.date;
    }
    return tasks;
}

void TaskRows::MoveOnPast(TaskSet& tasks, int64_t now, const LocalTime& zone) {
    for (SchedTask& task : tasks)
        FireIfDue(task, now, zone);
}

std::optional<TaskSet> TaskRows::TasksToApply(QWidget* page, int64_t now) const {
    TaskSet tasks = BuildTasks();
    for (size_t i = 0; i < kTaskCount; ++i) {
        SchedTask& task = tasks[i];
        if (task.enabled == 0 || task.start >= now)
            continue;
        const bool periodic = task.period == kPeriodDaily || task.period == kPeriodWeekly ||
                              task.period == kPeriodMonthly;
        if (periodic) {
            // Its next occurrence, not one that has passed: storing a past start would
            // fire it at the next check.
            FireIfDue(task, now, zone_);
            continue;
        }
        const SchedTask& was = loaded_[i];
        if (task.period == was.period && task.command == was.command && task.time == was.time &&
            task.date == was.date && was.enabled != 0) {
            task.enabled = 0;  // fired while the page was open: it has run
            continue;
        }
        ShowWarning(page, QStringLiteral("Task %1 runs once, at a time that has passed. Please "
                                         "choose a later date or time.")
                              .arg(i + 1));
        return std::nullopt;
    }
    return tasks;
}

}  // namespace vistrel
