// The main window against a recording backend: start-up order, the list refresh rules,
// modes, resizing, keys and mouse on empty space.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <algorithm>
#include <memory>

#include "app/all_projectors_button.h"
#include "app/gui_test_env.h"
#include "app/projector_list_model.h"
#include "app/vistrel_app.h"
#include "app/vistrel_dlg.h"
#include "controls/grp_list.h"
#include "controls/my_button.h"

namespace vistrel::test {
namespace {

class MainWindowTest : public ::testing::Test {
  protected:
    void Open() {
        window = std::make_unique<CVistrelDlg>(console, backend);
        tester = std::make_unique<QAbstractItemModelTester>(
            window->Model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    }
    void Store(const Info& info) { console.table.Lock().Store(info); }
    void Refresh() { window->RefreshNow(); }
    bool Enabled(int id) { return window->Action(id)->isEnabled(); }
    bool ButtonEnabled(int id) { return window->Button(id)->isEnabled(); }
    QColor ListBack() { return window->ProjectorView()->palette().color(QPalette::Base); }

    Console console;
    RecordingBackend backend;
    std::unique_ptr<CVistrelDlg> window;
    std::unique_ptr<QAbstractItemModelTester> tester;
};

TEST_F(MainWindowTest, StartsUpInOrderAndStopsPollingBeforeTheWorker) {
    backend.groups = {"Hall", "Lab"};
    backend.appValues["Interval"] = 7000;
    Open();
    const std::vector<std::string> expected{"LoadGroupNames",
                                            "OpenDiscovery",
                                            "GetAppDword Interval",
                                            "GetAppDword HealthLampWarningHours",
                                            "GetAppDword HealthLampCriticalHours",
                                            "GetAppDword HealthNotAnsweringSeconds",
                                            "StartPolling",
                                            "StartRequestWorker"};
    EXPECT_EQ(backend.calls, expected);
    EXPECT_EQ(window->RefreshInterval(), 7000u);
    EXPECT_EQ(window->GroupList()->count(), 2);
    EXPECT_TRUE(window->ShowingAllProjectors());
    EXPECT_EQ(window->Title(), "All Projectors");

    backend.calls.clear();
    window->close();
    const std::vector<std::string> stop{"StopPolling", "StopRequestWorker"};
    EXPECT_EQ(backend.calls, stop);
    window.reset();  // a second shutdown does nothing more
    EXPECT_EQ(backend.calls, stop);
}

TEST(VistrelApp, KeyPathFollowsTheExecutableName) {
    EXPECT_EQ(CVistrelApp("/usr/bin/vistrel").AppKeyPath(), "Software\\Brightwerk\\vistrel");
    // A renamed executable is another application with its own key.
    EXPECT_EQ(CVistrelApp("/opt/tools/Beamer.exe").AppKeyPath(), "Software\\Brightwerk\\Beamer");
}

TEST_F(MainWindowTest, StoredIntervalDrivesTimerOneAndZeroDoesNotSpin) {
    backend.appValues["Interval"] = 0;
    Open();
    EXPECT_EQ(window->RefreshInterval(), 0u);
    EXPECT_EQ(window->DiscoveryTimerMs(), static_cast<int>(CVistrelDlg::kShortestTimerMs));
    EXPECT_TRUE(window->RestartDiscoveryTimer(30000));
    EXPECT_EQ(window->DiscoveryTimerMs(), 30000);
    EXPECT_EQ(window->RefreshInterval(), 30000u);
    // Whatever the interval dialog accepts and stores is the period that runs.
    for (const uint32_t ms : {601000u, 86400000u, 2147483000u}) {
        EXPECT_TRUE(window->RestartDiscoveryTimer(ms));
        EXPECT_EQ(window->DiscoveryTimerMs(), static_cast<int>(ms));
        EXPECT_EQ(window->RefreshInterval(), ms);
    }
    // Timer 2 refreshes and then runs the schedule check; timer 5 ticks the watchdog.
    QTRY_VERIFY_WITH_TIMEOUT(backend.schedulesRun >= 1 && backend.watchdogTicks >= 2, 5000);
}

TEST_F(MainWindowTest, StoredIntervalAboveTenMinutesRunsAsStored) {
    backend.appValues["Interval"] = 3600000;
    Open();
    EXPECT_EQ(window->DiscoveryTimerMs(), 3600000);
}

TEST_F(MainWindowTest, PollingPausesForADialogAndResumes) {
    Open();
    backend.calls.clear();
    window->PausePolling();
    window->ResumePolling();
    window->OnRelocationProbe({});
    const std::vector<std::string> expected{"PausePolling", "ResumePolling", "RelocationProbe"};
    EXPECT_EQ(backend.calls, expected);
}

TEST_F(MainWindowTest, MenuIsCompleteWithItsCheckMarkAndWindowTitle) {
    Open();
    EXPECT_EQ(window->windowTitle(), "Vistrel");
    QStringList top;
    for (QAction* a : window->menuBar()->actions())
        top << a->text();
    EXPECT_EQ(top, QStringList({"&Group", "&Projector", "&Tools", "&About"}));
    QStringList group;
    for (QAction* a : window->GroupMenu()->actions())
        group << (a->isSeparator() ? "-" : a->text());
    EXPECT_EQ(group, QStringList({"&Go To...", "&New", "&Delete", "&Rename", "-", "Se&tting", "-",
                                  "E&xit"}));
    QStringList projector;
    for (QAction* a : window->ProjectorMenu()->actions()) {
        projector << (a->isSeparator() ? "-" : a->text());
    }
    EXPECT_EQ(projector, QStringList({"&Move To Group", "-", "&Check All", "&Uncheck All", "-",
                                      "&Property", "-", "Add P&JLink Projector..."}));
    QAction* autoSearch = window->Action(kCmdAutoSearch);
    EXPECT_EQ(autoSearch->text(), "&Auto Search Projector");
    EXPECT_TRUE(autoSearch->isCheckable() && autoSearch->isChecked());
    autoSearch->trigger();
    EXPECT_FALSE(console.autoSearchEnabled.load());
    EXPECT_EQ(window->Button(kCmdRefreshAll)->toolTip(), "Refresh all projectors");
    QStringList sources;
    for (int i = 0; i < window->SourceSelector()->count(); ++i) {
        sources << window->SourceSelector()->itemText(i);
    }
    EXPECT_EQ(sources, QStringList({"None", "HDMI", "VGA-1", "VGA-2", "S-Video", "Video"}));
    QHeaderView* header = window->ProjectorView()->horizontalHeader();
    EXPECT_EQ(window->Model()->headerData(3, Qt::Horizontal, Qt::DisplayRole), "Projector Name");
    // Widths follow the font (see ColumnsShowTheirWholeContentAtTheDesignedSize); the
    // designed 120 pixels are the least the MAC column gets.
    EXPECT_GE(header->sectionSize(0), 120);
    EXPECT_EQ(header->count(), ProjectorListModel::kColumnCount);
}

TEST_F(MainWindowTest, NoGroupsGreysGroupCommandsAndEmptyListDisablesTheBar) {
    Open();
    for (int id : {kCmdDelete, kCmdRename, kCmdGoToOthers, kCmdMoveToGroup, kCmdGoToAll,
                   kCmdCheckAll, kCmdUncheckAll, kCmdProperty, kCmdSetting}) {
        EXPECT_FALSE(Enabled(id)) << id;
    }
    for (int id : {kCmdDeleteGroup, kCmdCheckAllButton, kCmdUncheckAllButton, kCmdPowerOn,
                   kCmdPowerOff, kCmdGroupSettingButton}) {
        EXPECT_FALSE(ButtonEnabled(id)) << id;
    }
    EXPECT_FALSE(window->SourceSelector()->isEnabled());
}

TEST_F(MainWindowTest, FreshnessThreeKeepsARowAndAddsNone) {
    Open();
    Store(MakeInfo("AAAAAAAAAAAA", 3));
    Store(MakeInfo("BBBBBBBBBBBB", 4));
    Refresh();
    ASSERT_EQ(window->Model()->RowCount(), 1);
    EXPECT_EQ(window->Model()->Cell(0, ProjectorListModel::kMac), "BBBBBBBBBBBB");

    console.table.Lock().Find("BBBBBBBBBBBB")->freshness = 3;  // an existing row stays
    Refresh();
    EXPECT_EQ(window->Model()->RowCount(), 1);

    console.table.Lock().Find("BBBBBBBBBBBB")->freshness = 2;  // below 3 it goes
    Refresh();
    EXPECT_EQ(window->Model()->RowCount(), 0);
    EXPECT_FALSE(ButtonEnabled(kCmdCheckAllButton));
    EXPECT_FALSE(Enabled(kCmdCheckAll));
}

TEST_F(MainWindowTest, RowsAppendInTableOrderAndOnlyChangedCellsAreRewritten) {
    Open();
    for (const char* mac : {"CCCCCCCCCCCC", "AAAAAAAAAAAA", "BBBBBBBBBBBB"}) {
        Store(MakeInfo(mac, 5));
    }
    Refresh();
    ASSERT_EQ(window->Model()->RowCount(), 3);
    EXPECT_EQ(window->Model()->Cell(0, 0), "CCCCCCCCCCCC");  // never sorted
    EXPECT_EQ(window->Model()->Cell(2, 0), "BBBBBBBBBBBB");
    EXPECT_EQ(window->Model()->Cell(1, ProjectorListModel::kSchedule), "OFF");

    QSignalSpy changed(window->Model(), &QAbstractItemModel::dataChanged);
    Refresh();
    EXPECT_EQ(changed.count(), 0);  // nothing changed, nothing repainted

    {
        auto guard = console.table.Lock();
        Info* a = guard.Find("AAAAAAAAAAAA");
        a->lampHour = "1200";
        a->tasks[2].enabled = 1;
    }
    Refresh();
    ASSERT_EQ(changed.count(), 2);
    for (const QList<QVariant>& signal : changed) {
        const auto from = signal[0].value<QModelIndex>();
        const auto to = signal[1].value<QModelIndex>();
        EXPECT_EQ(from, to);  // one cell each
        EXPECT_EQ(from.row(), 1);
    }
    EXPECT_EQ(window->Model()->Cell(1, ProjectorListModel::kLampHour), "1200");
    EXPECT_EQ(window->Model()->Cell(1, ProjectorListModel::kSchedule), "ON");
}

TEST_F(MainWindowTest, PersistedTickShowsAtOnceAndEnablesThePowerButtons) {
    backend.projectorValues["AAAAAAAAAAAA/Checked"] = 1;
    Open();
    Store(MakeInfo("BBBBBBBBBBBB", 5));
    Refresh();
    EXPECT_FALSE(ButtonEnabled(kCmdPowerOn));
    EXPECT_TRUE(ButtonEnabled(kCmdCheckAllButton));
    Store(MakeInfo("AAAAAAAAAAAA", 5));
    Refresh();
    ASSERT_EQ(window->Model()->RowCount(), 2);
    EXPECT_EQ(window->Model()->index(1, 0).data(Qt::CheckStateRole), Qt::Checked);
    EXPECT_TRUE(ButtonEnabled(kCmdPowerOn));
    EXPECT_TRUE(ButtonEnabled(kCmdPowerOff));
    EXPECT_TRUE(ButtonEnabled(kCmdGroupSettingButton));
    EXPECT_TRUE(window->SourceSelector()->isEnabled());
    EXPECT_TRUE(Enabled(kCmdSetting));

    // Unticking writes 0; ticking the other row writes 1.
    window->Model()->setData(window->Model()->index(1, 0), Qt::Unchecked, Qt::CheckStateRole);
    EXPECT_EQ(backend.projectorValues["AAAAAAAAAAAA/Checked"], 0u);
    EXPECT_FALSE(ButtonEnabled(kCmdPowerOn));
    window->Model()->setData(window->Model()->index(0, 0), Qt::Checked, Qt::CheckStateRole);
    EXPECT_EQ(backend.projectorValues["BBBBBBBBBBBB/Checked"], 1u);
}

TEST_F(MainWindowTest, ClickingTheCheckBoxTicksTheRow) {
    Open();
    window->show();
    Store(MakeInfo("AAAAAAAAAAAA", 5));
    Refresh();
    QTableView* view = window->ProjectorView();
    QRect cell = view->visualRect(window->ViewIndex(0, 0));
    // The check indicator sits at the left of the first cell.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      QPoint(cell.left() + 10, cell.center().y()));
    EXPECT_TRUE(window->Model()->IsChecked(0));
    EXPECT_EQ(backend.projectorValues["AAAAAAAAAAAA/Checked"], 1u);
}

TEST_F(MainWindowTest, ModeSwitchSetsColoursTitlesAndFilters) {
    backend.groups = {"Hall", "Lab"};
    Open();
    Store(MakeInfo("AAAAAAAAAAAA", 5, "Hall"));
    Store(MakeInfo("BBBBBBBBBBBB", 5, "Lab"));
    Refresh();
    EXPECT_EQ(window->Model()->RowCount(), 2);
    EXPECT_EQ(ListBack(), QColor(230, 230, 155));

    window->GroupList()->setCurrentRow(1);  // the selection shows the group
    EXPECT_FALSE(window->ShowingAllProjectors());
    EXPECT_EQ(window->Title(), "Lab");
    EXPECT_EQ(ListBack(), QColor(210, 210, 210));
    ASSERT_EQ(window->Model()->RowCount(), 1);
    EXPECT_EQ(window->Model()->Cell(0, 0), "BBBBBBBBBBBB");
    EXPECT_TRUE(Enabled(kCmdGoToAll));
    EXPECT_TRUE(Enabled(kCmdDelete));
    EXPECT_TRUE(Enabled(kCmdRename));
    EXPECT_TRUE(Enabled(kCmdGoToOthers));
    EXPECT_TRUE(ButtonEnabled(kCmdDeleteGroup));

    window->show();
    QTest::mouseClick(window->AllButton(), Qt::LeftButton);
    EXPECT_TRUE(window->ShowingAllProjectors());
    EXPECT_EQ(window->Title(), "All Projectors");
    EXPECT_EQ(ListBack(), QColor(230, 230, 155));
    EXPECT_EQ(window->Model()->RowCount(), 2);
    EXPECT_FALSE(Enabled(kCmdGoToAll));
    EXPECT_FALSE(Enabled(kCmdDelete));
    EXPECT_FALSE(ButtonEnabled(kCmdDeleteGroup));
}

// After "All Projectors" (button or menu) the last group stays highlighted; a click on it
// must show it again although the current row does not change.
TEST_F(MainWindowTest, ClickOnTheHighlightedGroupShowsItAgain) {
    backend.groups = {"Hall", "Lab"};
    Open();
    Store(MakeInfo("AAAAAAAAAAAA", 5, "Hall"));
    Store(MakeInfo("BBBBBBBBBBBB", 5, "Lab"));
    window->show();
    CGrpList* list = window->GroupList();
    list->setCurrentRow(1);
    ASSERT_FALSE(window->ShowingAllProjectors());
    for (const bool byMenu : {false, true}) {
        if (byMenu) {
            window->Action(kCmdGoToAll)->trigger();
        } else {
            QTest::mouseClick(window->AllButton(), Qt::LeftButton);
        }
        ASSERT_TRUE(window->ShowingAllProjectors());
        ASSERT_EQ(window->Model()->RowCount(), 2);
        ASSERT_EQ(list->currentRow(), 1);
        const QPoint lab = list->visualItemRect(list->item(1)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, lab);
        EXPECT_FALSE(window->ShowingAllProjectors()) << byMenu;
        EXPECT_EQ(window->Title(), "Lab");
        ASSERT_EQ(window->Model()->RowCount(), 1);
        EXPECT_EQ(window->Model()->Cell(0, 0), "BBBBBBBBBBBB");
    }
    // Another group still shows by the change of row.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(0)).center());
    EXPECT_EQ(window->Title(), "Hall");
    ASSERT_EQ(window->Model()->RowCount(), 1);
    EXPECT_EQ(window->Model()->Cell(0, 0), "AAAAAAAAAAAA");
}

// At the window's designed size and with the default font, no column cuts its text: a
// 12-character MAC beside its check box included, and nothing needs a horizontal scroll.
TEST_F(MainWindowTest, ColumnsShowTheirWholeContentAtTheDesignedSize) {
    Open();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    const char* macs[] = {"DDDDDDDDDDDD", "888888888888", "00A0B1C2D3E4", "FEDCBA987654"};
    for (const char* mac : macs) {
        Info info = MakeInfo(mac, 5, "Lab");
        info.ip = "255.255.255.255";
        info.power = "standby";
        info.source = "S-Video";
        info.lampHour = "8888";
        info.displayMode = "Presentation";
        info.fwVersion = "B001";
        info.projectorName = "Room 101";
        Store(info);
    }
    Refresh();
    window->Model()->SetChecked(0, true);
    QApplication::processEvents();
    QTableView* view = window->ProjectorView();
    int total = 0;
    for (int c = 0; c < ProjectorListModel::kColumnCount; ++c) {
        EXPECT_GE(view->columnWidth(c), static_cast<QAbstractItemView*>(view)->sizeHintForColumn(c))
            << ProjectorListModel::Columns()[c].header;
        EXPECT_GE(view->columnWidth(c), view->horizontalHeader()->sectionSizeHint(c))
            << ProjectorListModel::Columns()[c].header;
        total += view->columnWidth(c);
    }
    EXPECT_LE(total, view->viewport()->width());
    EXPECT_FALSE(view->horizontalScrollBar()->isVisible());
}

TEST_F(MainWindowTest, NarrowingHidesTopBarControlsBeforeTheyReachTheLogo) {
    Open();
    window->show();
    window->resize(1250, 600);
    QTest::qWait(20);
    const auto controls = window->TopBarControls();
    for (QWidget* w : controls)
        EXPECT_TRUE(w->isVisible()) << w->objectName().toStdString();

    int hiddenBefore = 0;
    for (int width = 1250; width >= 300; width -= 15) {
        window->resize(width, 600);
        QApplication::processEvents();
        const int logoLeft = window->Logo()->x();
        int hidden = 0;
        for (QWidget* w : controls) {
            if (w->isVisible()) {
                EXPECT_LT(w->geometry().right(), logoLeft) << w->objectName().toStdString();
            } else {
                ++hidden;
            }
        }
        EXPECT_GE(hidden, hiddenBefore);  // one by one, never back while narrowing
        hiddenBefore = hidden;
    }
    EXPECT_GT(hiddenBefore, 3);
    // Right-hand controls go first: the source selector before the refresh button.
    EXPECT_FALSE(window->SourceSelector()->isVisible());
    window->resize(1250, 600);
    QApplication::processEvents();
    for (QWidget* w : controls)
        EXPECT_TRUE(w->isVisible()) << w->objectName().toStdString();
}

TEST_F(MainWindowTest, GroupPaneHidesAndTheListTakesItsPlace) {
    Open();
    window->show();
    const int left = window->ProjectorView()->x();
    QTest::mouseClick(window->Button(kCmdGroupPane), Qt::LeftButton);
    EXPECT_FALSE(window->GroupPaneVisible());
    EXPECT_FALSE(window->GroupList()->isVisible());
    EXPECT_FALSE(window->AllButton()->isVisible());
    EXPECT_EQ(window->ProjectorView()->x(), window->AllButton()->x());
    EXPECT_LT(window->ProjectorView()->x(), left);
    window->resize(window->width() - 40, window->height());
    QApplication::processEvents();
    // The find row takes the button's corner, the list the group pane's.
    EXPECT_EQ(window->FindField()->pos(), window->AllButton()->pos());
    EXPECT_EQ(window->ProjectorView()->pos(), window->GroupList()->pos());
    QTest::mouseClick(window->Button(kCmdGroupPane), Qt::LeftButton);
    EXPECT_TRUE(window->GroupList()->isVisible());
    EXPECT_EQ(window->ProjectorView()->x(), left);
}

TEST_F(MainWindowTest, EnterAndEscapeDoNotClose) {
    Open();
    window->show();
    QTest::keyClick(window.get(), Qt::Key_Escape);
    QTest::keyClick(window.get(), Qt::Key_Return);
    QTest::keyClick(window->ProjectorView(), Qt::Key_Escape);
    QTest::keyClick(window->GroupList(), Qt::Key_Enter);
    QApplication::processEvents();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(std::count(backend.calls.begin(), backend.calls.end(), "StopPolling"), 0);
}

TEST_F(MainWindowTest, DoubleClickOnEmptySpaceDoesNothing) {
    Open();
    window->show();
    Store(MakeInfo("AAAAAAAAAAAA", 5));
    Refresh();
    QSignalSpy activated(window.get(), &CVistrelDlg::projectorActivated);
    QTableView* view = window->ProjectorView();
    const QPoint below(60, view->viewport()->height() - 5);
    ASSERT_FALSE(view->indexAt(below).isValid());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, below);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, below);
    EXPECT_EQ(activated.count(), 0);
    EXPECT_EQ(window->Model()->RowCount(), 1);
    const QRect row = view->visualRect(window->ViewIndex(0, 3));
    // A double-click is a click followed by a second press inside the interval.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, row.center());
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, row.center());
    ASSERT_EQ(activated.count(), 1);
    EXPECT_EQ(activated[0][0].toInt(), 0);
}

TEST_F(MainWindowTest, DiscoveryFailureIsToldOnceAndTheConsoleGoesOn) {
    backend.discoveryFails = true;
    Open();
    window->show();
    QTRY_VERIFY(window->findChild<QMessageBox*>("discoveryFailureBox") != nullptr);
    auto* box = window->findChild<QMessageBox*>("discoveryFailureBox");
    EXPECT_EQ(box->windowTitle(), "Vistrel");
    EXPECT_TRUE(box->text().contains("port 250 needs privileges"));
    EXPECT_TRUE(box->informativeText().contains("CAP_NET_BIND_SERVICE"));
    EXPECT_EQ(window->findChildren<QMessageBox*>().size(), 1);
    // Polling and the worker still start; the list still works.
    EXPECT_NE(std::find(backend.calls.begin(), backend.calls.end(), "StartPolling"),
              backend.calls.end());
    Store(MakeInfo("AAAAAAAAAAAA", 5));
    Refresh();
    EXPECT_EQ(window->Model()->RowCount(), 1);
}

}  // namespace
}  // namespace vistrel::test
