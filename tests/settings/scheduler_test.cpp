// The Scheduler pages of both settings dialogs, driven through their widgets: what they show
// from the store, the enabling rule, and what "Apply" leaves in the projector table and the
// store. The last test sets a task on the page of the demo console and waits for it to fire.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/command_test_support.h"
#include "app/console_session.h"
#include "app/projector_list_model.h"
#include "cli/cli_runner.h"
#include "schedule/schedule_runner.h"
#include "settings/common/task_rows.h"
#include "settings/projector/prj_set_dlg.h"
#include "settings/shared/grp_scheduler.h"
#include "settings/shared/grp_set_dlg.h"
#include "settings/shared/prj_scheduler.h"
#include "sim/fleet.h"
#include "store/store_test_support.h"

namespace vistrel::test {
namespace {

constexpr const char* kMacs[] = {"00AA00000001", "00AA00000002", "00AA00000003"};
// 2024-05-14 14:05:12 UTC, in no particular zone: the tests compare against Qt's own
// local-time conversion.
constexpr int64_t kNow = 1715695512;

int64_t Local(int year, int month, int day, int hour, int minute, int second) {
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second)).toSecsSinceEpoch();
}

class SchedulerPageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto guard = console.table.Lock();
        for (const char* mac : kMacs) {
            Info info(mac);
            info.ip = "127.0.0.9";
            guard.Store(info);
        }
    }

    void TearDown() override {
        prjDialog.reset();
        grpDialog.reset();
    }

    CPrjScheduler* OpenProjector(const std::string& mac) {
        console.targetMacs = {mac};
        prjDialog =
            std::make_unique<CPrjSetDlg>(nullptr, console, ring, store, "127.0.0.9", "Lab", "P1");
        prjDialog->show();
        prjDialog->ShowSchedulerSide();
        page = prjDialog->SidePage(CPrjSetDlg::kSideScheduler);
        return qobject_cast<CPrjScheduler*>(page);
    }

    CGrpScheduler* OpenGroup(const std::string& group, std::vector<std::string> macs) {
        console.targetMacs = std::move(macs);
        grpDialog = std::make_unique<CGrpSetDlg>(nullptr, console, ring, store, group);
        grpDialog->show();
        grpDialog->ShowSide(CGrpSetDlg::kSideScheduler);
        page = grpDialog->Page(CGrpSetDlg::kSideScheduler);
        return qobject_cast<CGrpScheduler*>(page);
    }

    template <typename T>
    T* Ctl(int id) const {
        T* widget = page->findChild<T*>(ControlName(id));
        EXPECT_NE(widget, nullptr) << id;
        return widget;
    }
    void Click(int id) { QTest::mouseClick(Ctl<QAbstractButton>(id), Qt::LeftButton); }
    void Apply() { Click(TaskRows::kApply); }
    // The four controls of a task row besides its check box.
    std::vector<QWidget*> Row(size_t task) const {
        return {Ctl<QWidget>(TaskRows::kCommand[task]), Ctl<QWidget>(TaskRows::kPeriod[task]),
                Ctl<QWidget>(TaskRows::kTime[task]), Ctl<QWidget>(TaskRows::kDate[task])};
    }
    bool RowEnabled(size_t task) const {
        for (QWidget* w : Row(task)) {
            if (!w->isEnabled())
                return false;
        }
        return true;
    }
    bool RowDisabled(size_t task) const {
        for (QWidget* w : Row(task)) {
            if (w->isEnabled())
                return false;
        }
        return true;
    }
    SchedTask Stored(const std::string& mac, int index) {
        SchedTask task;
        EXPECT_EQ(store.ReadProjectorTask(mac, index, &task), 1);
        return task;
    }
    Info Record(const std::string& mac) {
        Info info;
        EXPECT_TRUE(console.table.Lock().Lookup(mac, info));
        return info;
    }

    vistrel::testing::FixedClock clock{kNow};
    vistrel::testing::TempDir dir;
    Console console{NetworkProfile{}, clock};
    RegStore store{dir.File(), "vistrel-test", clock};
    // Never started: the dialogs' own queries stay queued and nothing goes on the network.
    RequestRing ring{console, RequestRingOptions{}};
    std::unique_ptr<CPrjSetDlg> prjDialog;
    std::unique_ptr<CGrpSetDlg> grpDialog;
    QWidget* page = nullptr;
};

TEST_F(SchedulerPageTest, NothingStoredOpensFourDisabledOncePowerOnTasksAtNow) {
    for (int form = 0; form < 2; ++form) {
        SCOPED_TRACE(form == 0 ? "projector" : "group");
        if (form == 0)
            ASSERT_NE(OpenProjector(kMacs[0]), nullptr);
        else
            ASSERT_NE(OpenGroup("Lab", {kMacs[0]}), nullptr);
        for (size_t i = 0; i < kTaskCount; ++i) {
            EXPECT_FALSE(Ctl<QCheckBox>(TaskRows::kCheck[i])->isChecked());
            EXPECT_TRUE(Ctl<QCheckBox>(TaskRows::kCheck[i])->isEnabled());
            EXPECT_TRUE(RowDisabled(i));
            auto* command = Ctl<QComboBox>(TaskRows::kCommand[i]);
            EXPECT_EQ(command->currentText(), "Power On");
            EXPECT_EQ(command->count(), 2);
            EXPECT_EQ(command->itemText(1), "Power Off");
            auto* period = Ctl<QComboBox>(TaskRows::kPeriod[i]);
            EXPECT_EQ(period->currentText(), "Once");
            EXPECT_EQ(period->itemText(3), "Monthly");
            EXPECT_EQ(Ctl<QDateTimeEdit>(TaskRows::kTime[i])->dateTime().toSecsSinceEpoch(), kNow);
            EXPECT_EQ(Ctl<QDateTimeEdit>(TaskRows::kDate[i])->dateTime().toSecsSinceEpoch(), kNow);
            EXPECT_TRUE(Ctl<QDateTimeEdit>(TaskRows::kDate[i])->calendarPopup());
        }
        EXPECT_TRUE(Ctl<QPushButton>(TaskRows::kApply)->isEnabled());
        TearDown();
    }
    // Looking stored no task.
    for (int i = 0; i < kTaskCount; ++i) {
        EXPECT_EQ(store.GetProjectorDword(kMacs[0], kProjectorKeyScheduler, i, "TaskEanbled", 7),
                  7u);
        EXPECT_EQ(store.GetGroupDword("Lab", kGroupKeyScheduler, i, "TaskEanbled", 7), 7u);
    }
}

TEST_F(SchedulerPageTest, ApplyStartsTheTaskAtItsDateAndTimeOfDayAndKeepsBothPickers) {
    ASSERT_NE(OpenProjector(kMacs[1]), nullptr);
    Click(TaskRows::kCheck[0]);
    ASSERT_TRUE(RowEnabled(0));
    Ctl<QComboBox>(TaskRows::kCommand[0])->setCurrentIndex(1);
    Ctl<QComboBox>(TaskRows::kPeriod[0])->setCurrentIndex(3);
    const int64_t time = Local(2023, 11, 2, 7, 30, 0);
    const int64_t date = Local(2024, 5, 14, 14, 5, 12);
    Ctl<QDateTimeEdit>(TaskRows::kTime[0])->setDateTime(QDateTime::fromSecsSinceEpoch(time));
    Ctl<QDateTimeEdit>(TaskRows::kDate[0])->setDateTime(QDateTime::fromSecsSinceEpoch(date));
    const uint64_t writes = store.WriteCount();
    Apply();

    const SchedTask task = Stored(kMacs[1], 0);
    EXPECT_EQ(task.enabled, 1);
    EXPECT_EQ(task.command, 1);
    EXPECT_EQ(task.period, 3);
    EXPECT_EQ(task.time, time);
    // 07:30 on that day has passed: a monthly task starts at its next occurrence, so it does
    // not fire the moment it is stored.
    EXPECT_EQ(task.date, Local(2024, 6, 14, 14, 5, 12));
    EXPECT_EQ(task.start, Local(2024, 6, 14, 7, 30, 0));
    EXPECT_EQ(store.WriteCount() - writes, 1u);
    // The table holds what the store holds; the list's "Schedule" column reads it.
    const Info record = Record(kMacs[1]);
    for (int i = 0; i < kTaskCount; ++i)
        EXPECT_EQ(record.tasks[static_cast<size_t>(i)], Stored(kMacs[1], i)) << i;
    EXPECT_EQ(Record(kMacs[0]).tasks, Info().tasks);

    // Opened again, the page shows what was applied.
    TearDown();
    ASSERT_NE(OpenProjector(kMacs[1]), nullptr);
    EXPECT_TRUE(Ctl<QCheckBox>(TaskRows::kCheck[0])->isChecked());
    EXPECT_EQ(Ctl<QComboBox>(TaskRows::kPeriod[0])->currentText(), "Monthly");
    EXPECT_EQ(Ctl<QDateTimeEdit>(TaskRows::kTime[0])->dateTime().toSecsSinceEpoch(), time);
    EXPECT_EQ(Ctl<QDateTimeEdit>(TaskRows::kDate[0])->dateTime().toSecsSinceEpoch(),
              Local(2024, 6, 14, 14, 5, 12));
}

TEST_F(SchedulerPageTest, EachCheckBoxSwitchesItsOwnRowAndApplyKeepsAnUntickedTasksValues) {
    const SchedTask weekly{
        1, 2, Local(2024, 1, 1, 6, 0, 0), Local(2024, 6, 3, 9, 0, 0), Local(2024, 6, 3, 6, 0, 0),
        1};
    for (int index = 0; index < kTaskCount; ++index)
        store.WriteProjectorTask(kMacs[2], index, &weekly);
    ASSERT_NE(OpenProjector(kMacs[2]), nullptr);
    for (size_t i = 0; i < kTaskCount; ++i)
        ASSERT_TRUE(RowEnabled(i)) << i;

    // Task 2's box is 1091 and task 3's is 1090: each switches its own row only.
    Click(1091);
    EXPECT_TRUE(RowDisabled(1));
    EXPECT_TRUE(RowEnabled(0) && RowEnabled(2) && RowEnabled(3));
    Click(1090);
    EXPECT_TRUE(RowDisabled(2));
    Click(1090);
    EXPECT_TRUE(RowEnabled(2));
    Click(1091);
    EXPECT_TRUE(RowEnabled(1));
    Click(1091);
    EXPECT_TRUE(RowDisabled(1));
    Apply();

    SchedTask expected = weekly;
    expected.enabled = 0;
    EXPECT_EQ(Stored(kMacs[2], 1), expected);
    EXPECT_EQ(Stored(kMacs[2], 2), weekly);
    EXPECT_EQ(Record(kMacs[2]).tasks[1], expected);
}

TEST_F(SchedulerPageTest, ProjectorOutsideTheTableGetsNothing) {
    ASSERT_NE(OpenProjector("00AA0000FFFF"), nullptr);
    Click(TaskRows::kCheck[3]);
    const uint64_t writes = store.WriteCount();
    Apply();
    EXPECT_EQ(store.WriteCount(), writes);
    EXPECT_EQ(store.GetProjectorDword("00AA0000FFFF", kProjectorKeyScheduler, 3, "TaskEanbled", 7),
              7u);
    Info absent;
    EXPECT_FALSE(console.table.Lock().Lookup("00AA0000FFFF", absent));
}

TEST_F(SchedulerPageTest, ApplyTellsWhenTheStoreCouldNotKeepTheTasks) {
    // The store's folder cannot be made: a file stands where it would go.
    const std::filesystem::path blocker = dir.Path() / "blocked";
    std::ofstream(blocker) << "not a folder";
    RegStore broken(blocker / "Brightwerk" / "registry.reg", "vistrel-test", clock);
    for (int form = 0; form < 2; ++form) {
        SCOPED_TRACE(form == 0 ? "projector" : "group");
        console.targetMacs = {kMacs[0]};
        if (form == 0) {
            prjDialog = std::make_unique<CPrjSetDlg>(nullptr, console, ring, broken, "127.0.0.9",
                                                     "Lab", "P1");
            prjDialog->show();
            prjDialog->ShowSchedulerSide();
            page = prjDialog->SidePage(CPrjSetDlg::kSideScheduler);
        } else {
            grpDialog = std::make_unique<CGrpSetDlg>(nullptr, console, ring, broken, "Lab");
            grpDialog->show();
            grpDialog->ShowSide(CGrpSetDlg::kSideScheduler);
            page = grpDialog->Page(CGrpSetDlg::kSideScheduler);
        }
        Click(TaskRows::kCheck[0]);
        ModalScript script;
        script.Then(script.Answer(QMessageBox::Ok));
        Apply();
        ASSERT_TRUE(script.Finished());
        ASSERT_EQ(script.boxes.size(), 1u);
        EXPECT_EQ(script.boxes[0].text, "The scheduled tasks could not be saved.");
        EXPECT_EQ(script.boxes[0].icon, QMessageBox::Warning);
        TearDown();
    }
}

TEST_F(SchedulerPageTest, GroupApplyCopiesTheTasksToEveryAddressedProjectorInOneWrite) {
    for (const std::string group : {"Lab", "All Projectors"}) {
        SCOPED_TRACE(group);
        ASSERT_NE(OpenGroup(group, {kMacs[0], kMacs[1], "00AA0000FFFF", kMacs[2]}), nullptr);
        Click(TaskRows::kCheck[1]);
        Ctl<QComboBox>(TaskRows::kPeriod[1])->setCurrentIndex(1);
        const uint64_t writes = store.WriteCount();
        Apply();
        EXPECT_EQ(store.WriteCount() - writes, 1u);

        SchedTask groupTasks[kTaskCount];
        for (int i = 0; i < kTaskCount; ++i) {
            EXPECT_TRUE(store.KeyExists({"Group", group, "Scheduler" + std::to_string(i)}));
            ASSERT_EQ(store.ReadGroupTask(group, i, &groupTasks[i]), 1);
        }
        EXPECT_EQ(groupTasks[1].enabled, 1);
        EXPECT_EQ(groupTasks[1].period, 1);
        EXPECT_EQ(groupTasks[0].enabled, 0);
        for (const char* mac : kMacs) {
            for (int i = 0; i < kTaskCount; ++i) {
                EXPECT_TRUE(store.KeyExists({"Projector", mac, "Scheduler" + std::to_string(i)}));
                EXPECT_EQ(Stored(mac, i), groupTasks[i]) << mac << " " << i;
                EXPECT_EQ(Record(mac).tasks[static_cast<size_t>(i)], groupTasks[i]);
            }
        }
        EXPECT_EQ(
            store.GetProjectorDword("00AA0000FFFF", kProjectorKeyScheduler, 1, "TaskEanbled", 7),
            7u);

        // The group's own tasks come back when its dialog opens again.
        TearDown();
        ASSERT_NE(OpenGroup(group, {}), nullptr);
        EXPECT_TRUE(Ctl<QCheckBox>(TaskRows::kCheck[1])->isChecked());
        EXPECT_EQ(Ctl<QComboBox>(TaskRows::kPeriod[1])->currentText(), "Daily");
        // A group without addressed projectors still keeps its tasks.
        Click(TaskRows::kCheck[1]);
        Apply();
        SchedTask after;
        ASSERT_EQ(store.ReadGroupTask(group, 1, &after), 1);
        EXPECT_EQ(after.enabled, 0);
        TearDown();
    }
    // "All Projectors" is stored like any group but never listed as one.
    EXPECT_EQ(store.LoadGroupNames(), std::vector<std::string>{"Lab"});
}

TEST_F(SchedulerPageTest, FiredTasksShowAsFiredAndNothingPastIsStoredToFireAgain) {
    // The group's own keys as Apply left them; the projectors' tasks have fired since.
    const SchedTask once{1, 0, kNow - 3600, kNow - 3600, kNow - 3600, 1};
    const SchedTask daily{1, 1, kNow - 3 * 86400, kNow - 3 * 86400, kNow - 3 * 86400, 0};
    store.WriteGroupTask("Lab", 0, &once);
    store.WriteGroupTask("Lab", 1, &daily);
    ASSERT_NE(OpenGroup("Lab", {kMacs[0], kMacs[1], kMacs[2]}), nullptr);
    EXPECT_FALSE(Ctl<QCheckBox>(TaskRows::kCheck[0])->isChecked());
    EXPECT_TRUE(Ctl<QCheckBox>(TaskRows::kCheck[1])->isChecked());
    EXPECT_GE(Ctl<QDateTimeEdit>(TaskRows::kDate[1])->dateTime().toSecsSinceEpoch(), kNow);

    // Apply without a change: the schedule check then has nothing to fire.
    Apply();
    int fired = 0;
    ScheduleRunner runner(store, clock, SystemLocalTime::Instance(),
                          [&](const std::string&, const std::string&) { ++fired; });
    EXPECT_EQ(runner.RunSchedules(console.table), 0);
    EXPECT_EQ(fired, 0);
    for (const char* mac : kMacs) {
        EXPECT_EQ(Stored(mac, 0).enabled, 0) << mac;
        EXPECT_GE(Stored(mac, 1).start, kNow) << mac;
    }

    // A Once task set in the past is refused, and nothing is stored.
    Click(TaskRows::kCheck[2]);
    for (int id : {TaskRows::kTime[2], TaskRows::kDate[2]})
        Ctl<QDateTimeEdit>(id)->setDateTime(QDateTime::fromSecsSinceEpoch(kNow - 86400));
    const uint64_t writes = store.WriteCount();
    ModalScript script;
    script.Then(script.Answer(QMessageBox::Ok));
    Apply();
    ASSERT_TRUE(script.Finished());
    ASSERT_EQ(script.boxes.size(), 1u);
    EXPECT_TRUE(script.boxes[0].text.startsWith("Task 3 runs once"))
        << script.boxes[0].text.toStdString();
    EXPECT_EQ(store.WriteCount(), writes);
}

// The demo console as an operator runs it: a task set on the page shows in the list and in
// the command-line listing, and fires at its second against the demo fleet.
TEST(SchedulerDemoTest, TaskSetOnThePageFiresAtItsTimeAgainstTheDemoFleet) {
    QTemporaryDir dir;
    SessionOptions options;
    options.appName = "vistrel-gui-test";
    options.storeFile = (dir.path() + "/registry.reg").toStdString();
    DemoOptions demo;
    demo.count = 3;
    demo.firstAddress = "127.0.14.2";
    demo.consoleAddress = "127.0.14.1";
    demo.silentAfter = std::chrono::milliseconds(0);
    options.demo = demo;
    ConsoleSession session(options);
    std::string error;
    ASSERT_TRUE(session.Start(&error)) << error;
    CVistrelDlg& window = session.window();
    window.show();
    sim::Fleet& fleet = session.demo()->fleet();
    for (size_t i = 0; i < fleet.Size(); ++i)
        fleet.UpdateState(i, [](sim::ProjectorState& s) { s.power = sim::kPowerOff; });
    const std::string mac = fleet.Mac(1);
    const std::string ip = fleet.Address(1);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            Info info;
            return session.console().table.Lock().Lookup(mac, info);
        },
        20000));

    session.console().targetIps = {ip};
    session.console().targetMacs = {mac};
    CPrjSetDlg dialog(&window, session.console(), session.backend().ring(), session.store(), ip, "",
                      "");
    dialog.setModal(false);
    dialog.show();
    dialog.ShowSchedulerSide();
    QWidget* page = dialog.SidePage(CPrjSetDlg::kSideScheduler);
    QTest::mouseClick(page->findChild<QCheckBox*>(ControlName(TaskRows::kCheck[0])),
                      Qt::LeftButton);
    page->findChild<QComboBox*>(ControlName(TaskRows::kPeriod[0]))->setCurrentIndex(1);
    // Two seconds ahead, whole seconds as the picker shows them.
    const QDateTime due = QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch() + 2);
    page->findChild<QDateTimeEdit*>(ControlName(TaskRows::kTime[0]))->setDateTime(due);
    page->findChild<QDateTimeEdit*>(ControlName(TaskRows::kDate[0]))->setDateTime(due);
    QTest::mouseClick(page->findChild<QPushButton*>(ControlName(TaskRows::kApply)), Qt::LeftButton);
    dialog.close();

    const ProjectorListModel& model = *window.Model();
    auto scheduleOf = [&] {
        for (int row = 0; row < model.RowCount(); ++row) {
            if (model.Cell(row, ProjectorListModel::kMac) == mac)
                return model.Cell(row, ProjectorListModel::kSchedule);
        }
        return std::string();
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return scheduleOf() == "ON"; }, 10000)) << scheduleOf();

    // Power-on commands received, by the projector and by the others.
    auto powerOns = [&] {
        std::pair<int, int> count{0, 0};
        for (const sim::LogEntry& entry : fleet.Log().Entries()) {
            if (entry.kind == "http" && entry.body == "command=~0000 1")
                ++(entry.address == ip ? count.first : count.second);
        }
        return count;
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return powerOns().first > 0; }, 30000));
    // Due only once its second has passed.
    EXPECT_GT(QDateTime::currentSecsSinceEpoch(), due.toSecsSinceEpoch());
    EXPECT_EQ(powerOns(), std::make_pair(1, 0));

    // The command-line listing reads the same store: the daily task, moved on by a day.
    std::ostringstream out, err;
    cli::CliEnvironment env(out, err);
    const int status =
        cli::RunCli({"schedule", "list", "--projector", mac, "--store", options.storeFile.string(),
                     "--app-name", options.appName, "--csv"},
                    env);
    ASSERT_EQ(status, 0) << err.str();
    const QDateTime next = due.addDays(1);
    const std::string row = "projector," + mac + ",1,yes,Daily,Power_On," +
                            due.toString("HH:mm:ss").toStdString() + "," +
                            next.toString("yyyy-MM-dd").toStdString() + "," +
                            next.toString("yyyy-MM-dd HH:mm:ss").toStdString();
    EXPECT_THAT(out.str(), ::testing::HasSubstr(row)) << out.str();
}

}  // namespace
}  // namespace vistrel::test
