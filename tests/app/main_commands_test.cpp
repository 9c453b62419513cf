// The main window's commands against a simulated fleet: what each command sends, what it
// changes in the window and the store, and the paths into the settings dialogs.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <algorithm>
#include <set>

#include "app/add_group_dialog.h"
#include "app/command_test_support.h"
#include "app/group_action_dialog.h"
#include "app/projector_list_model.h"
#include "app/refresh_dialog.h"
#include "app/rename_group_dialog.h"
#include "controls/grp_list.h"
#include "controls/my_button.h"
#include "protocol/codec.h"

namespace vistrel::test {
namespace {

using MainCommandsTest = CommandFixture;

void ClickOk(QDialog& dialog) {
    QTest::mouseClick(dialog.findChild<QPushButton*>("okButton"), Qt::LeftButton);
}

std::set<std::string> Addresses(const std::vector<std::pair<std::string, std::string>>& got) {
    std::set<std::string> addresses;
    for (const auto& [address, body] : got)
        addresses.insert(address);
    return addresses;
}

TEST_F(MainCommandsTest, PowerOnSendsOneBodyToEveryTickedProjectorInParallel) {
    Start({{"", "P1"}, {"", "P2"}, {"", "P3"}, {"", "P4"}});
    ASSERT_TRUE(WaitForRows(4));
    // Every answer takes a while, so projectors served one after another would be far apart.
    sim::Faults slow;
    slow.replyDelayMs = 1000;
    for (size_t i = 0; i < 3; ++i)
        fleet->SetFaults(i, slow);
    for (size_t i = 0; i < 3; ++i)
        window->Model()->SetChecked(RowOfAddress(fleet->Address(i)), true);
    ASSERT_TRUE(window->Button(kCmdPowerOn)->isEnabled());

    QTest::mouseClick(window->Button(kCmdPowerOn), Qt::LeftButton);
    ASSERT_TRUE(WaitForReceived("command=", 3));
    QTest::qWait(100);
    const auto got = Received("command=");
    ASSERT_EQ(got.size(), 3u);
    for (const auto& [address, body] : got)
        EXPECT_EQ(body, "command=~0000 1");
    EXPECT_EQ(Addresses(got),
              (std::set<std::string>{fleet->Address(0), fleet->Address(1), fleet->Address(2)}));
    int64_t first = INT64_MAX, last = 0;
    for (const sim::LogEntry& entry : fleet->Log().Entries()) {
        if (entry.body.rfind("command=", 0) == 0) {
            first = std::min(first, entry.timeMs);
            last = std::max(last, entry.timeMs);
        }
    }
    EXPECT_LT(last - first, 1000) << "the three requests did not overlap";
    EXPECT_EQ(console->targetMacs.size(), 3u);
    EXPECT_EQ(console->targetIps.size(), 3u);

    QTest::mouseClick(window->Button(kCmdPowerOff), Qt::LeftButton);
    ASSERT_TRUE(WaitForReceived("command=~0000 0", 3));
}

TEST_F(MainCommandsTest, ProjectorThatCarriedOutAPowerCommandIsPolledAgainWithinItsFifteenSeconds) {
    pollIntervalMs = 15000;
    Start({{"", "P1"}, {"", "P2"}});
    ASSERT_TRUE(WaitForRows(2));
    ASSERT_TRUE(WaitForReceived("query=group", 2));
    window->Model()->SetChecked(RowOfAddress(fleet->Address(0)), true);
    QTest::mouseClick(window->Button(kCmdPowerOn), Qt::LeftButton);
    ASSERT_TRUE(WaitForReceived("command=", 1));

    // The next pass asks the commanded projector, and only it, long before its 15 seconds.
    auto infoTimes = [&](size_t projector) {
        std::vector<int64_t> times;
        for (const sim::LogEntry& entry : fleet->Log().Entries()) {
            if (entry.projector == projector && entry.body == "query=info")
                times.push_back(entry.timeMs);
        }
        return times;
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return infoTimes(0).size() >= 2; }, 10000));
    const std::vector<int64_t> first = infoTimes(0);
    EXPECT_LT(first[1] - first[0], 15000);
    EXPECT_EQ(infoTimes(1).size(), 1u);
}

TEST_F(MainCommandsTest, SourceNoneSendsTheBareCommandOnlyToTickedRows) {
    Start({{"", "P1"}, {"", "P2"}, {"", "P3"}});
    ASSERT_TRUE(WaitForRows(3));
    window->Model()->SetChecked(RowOfAddress(fleet->Address(0)), true);
    window->Model()->SetChecked(RowOfAddress(fleet->Address(2)), true);
    ASSERT_TRUE(window->SourceSelector()->isEnabled());

    emit window->SourceSelector()->activated(0);  // the operator picks "None"
    ASSERT_TRUE(WaitForReceived("command=", 2));
    emit window->SourceSelector()->activated(5);  // "Video"
    ASSERT_TRUE(WaitForReceived("command=", 4));
    QTest::qWait(100);
    const auto got = Received("command=");
    ASSERT_EQ(got.size(), 4u);
    std::multiset<std::string> bodies;
    for (const auto& [address, body] : got)
        bodies.insert(body);
    EXPECT_EQ(bodies.count("command="), 2u);
    EXPECT_EQ(bodies.count("command=~0012 10"), 2u);
    EXPECT_EQ(Addresses(got), (std::set<std::string>{fleet->Address(0), fleet->Address(2)}));
}

TEST_F(MainCommandsTest, CheckAllAndUncheckAllTickEveryRowAndPersistTheTicks) {
    Start({{"", "P1"}, {"", "P2"}});
    ASSERT_TRUE(WaitForRows(2));
    QTest::mouseClick(window->Button(kCmdCheckAllButton), Qt::LeftButton);
    EXPECT_EQ(window->Model()->CheckedCount(), 2);
    for (size_t i = 0; i < 2; ++i)
        EXPECT_EQ(store->GetProjectorDword(fleet->Mac(i), kProjectorKeyRoot, 0, "Checked", 9), 1u);
    window->Action(kCmdUncheckAll)->trigger();
    EXPECT_EQ(window->Model()->CheckedCount(), 0);
    EXPECT_EQ(store->GetProjectorDword(fleet->Mac(1), kProjectorKeyRoot, 0, "Checked", 9), 0u);
    EXPECT_FALSE(window->Button(kCmdPowerOn)->isEnabled());
}

TEST_F(MainCommandsTest, AddingAGroupThatExistsInAnotherCaseIsRefusedNamingTheTypedName) {
    Start({}, {"ABC"});
    ASSERT_EQ(window->GroupList()->count(), 1);
    ModalScript script;
    script.Then(OnDialog<CAddGroup>([](CAddGroup& d) {
        QTest::keyClicks(d.NameEdit(), "abc");
        QMetaObject::invokeMethod(
            &d, [&d] { ClickOk(d); }, Qt::QueuedConnection);
    }));
    script.Then(script.Answer(QMessageBox::Ok));
    script.Then(OnDialog<CAddGroup>([](CAddGroup& d) {
        // Still open after the refusal.
        d.NameEdit()->setText("Lab");
        QMetaObject::invokeMethod(
            &d, [&d] { ClickOk(d); }, Qt::QueuedConnection);
    }));
    QTest::mouseClick(window->Button(kCmdAddGroup), Qt::LeftButton);
    ASSERT_TRUE(script.Finished());
    ASSERT_EQ(script.boxes.size(), 1u);
    EXPECT_EQ(script.boxes[0].text, "The Group abc has already existed");
    EXPECT_EQ(script.boxes[0].title, "Vistrel");

    // The new group is listed, selected, shown and stored.
    ASSERT_EQ(window->GroupList()->count(), 2);
    EXPECT_EQ(window->GroupList()->currentItem()->text(), "Lab");
    EXPECT_FALSE(window->ShowingAllProjectors());
    EXPECT_EQ(window->Title(), "Lab");
    EXPECT_EQ(window->GroupNames(), (std::vector<std::string>{"ABC", "Lab"}));
    EXPECT_EQ(store->LoadGroupNames(), (std::vector<std::string>{"ABC", "Lab"}));
    EXPECT_TRUE(window->Action(kCmdDelete)->isEnabled());
    EXPECT_TRUE(window->Action(kCmdGoToOthers)->isEnabled());
    EXPECT_TRUE(window->Button(kCmdDeleteGroup)->isEnabled());
    EXPECT_FALSE(window->Button(kCmdPowerOn)->isEnabled());
}

TEST_F(MainCommandsTest, AnEmptyNewGroupNameIsIgnored) {
    Start({}, {"ABC"});
    ModalScript script;
    script.Then(OnDialog<CAddGroup>([](CAddGroup& d) {
        QMetaObject::invokeMethod(
            &d, [&d] { ClickOk(d); }, Qt::QueuedConnection);
    }));
    groupCommands->NewGroup();
    ASSERT_TRUE(script.Finished());
    EXPECT_EQ(window->GroupList()->count(), 1);
    EXPECT_EQ(store->LoadGroupNames(), (std::vector<std::string>{"ABC"}));
}

TEST_F(MainCommandsTest, DeletingAGroupSendsEveryMemberItsOwnNameWithAnEmptyGroup) {
    Start({{"Lobby", "North"}, {"Lobby", "South"}, {"Lab", "Bench"}, {"Lobby", "East"}},
          {"Lab", "Lobby"});
    ASSERT_TRUE(WaitForGroupsPolled());
    SelectGroup(1);
    ASSERT_EQ(window->SelectedGroupName(), "Lobby");
    ASSERT_TRUE(WaitForRows(3));

    ModalScript script;
    script.Then(script.Answer(QMessageBox::Yes));
    QTest::mouseClick(window->Button(kCmdDeleteGroup), Qt::LeftButton);
    ASSERT_TRUE(script.Finished());
    ASSERT_EQ(script.boxes.size(), 1u);
    EXPECT_EQ(script.boxes[0].text, "Are you going to delete Group Lobby");
    EXPECT_EQ(script.boxes[0].icon, QMessageBox::Question);
    EXPECT_EQ(script.boxes[0].buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(script.boxes[0].title, "Vistrel");

    ASSERT_TRUE(WaitForReceived("set=group", 3));
    QTest::qWait(100);
    const auto got = Received("set=group");
    ASSERT_EQ(got.size(), 3u);
    for (const auto& [address, body] : got) {
        const auto index = fleet->FindByAddress(address);
        ASSERT_TRUE(index);
        EXPECT_EQ(body, BuildGroupRecord("", fleet->State(*index).name));
        EXPECT_EQ(body, "set=group" + std::string(32, ' ') + fleet->State(*index).name +
                            std::string(32 - fleet->State(*index).name.size(), ' '));
    }
    EXPECT_EQ(Addresses(got),
              (std::set<std::string>{fleet->Address(0), fleet->Address(1), fleet->Address(3)}));
    EXPECT_EQ(store->LoadGroupNames(), (std::vector<std::string>{"Lab"}));
    EXPECT_EQ(window->GroupNames(), (std::vector<std::string>{"Lab"}));
    ASSERT_EQ(window->GroupList()->count(), 1);
    EXPECT_EQ(window->Title(), "Lab");  // the last remaining entry is selected
    EXPECT_FALSE(window->Action(kCmdGoToOthers)->isEnabled());

    // Deleting the last group returns to "All Projectors".
    ModalScript again;
    again.Then(again.Answer(QMessageBox::Yes));
    window->Action(kCmdDelete)->trigger();
    ASSERT_TRUE(again.Finished());
    EXPECT_EQ(window->GroupList()->count(), 0);
    EXPECT_TRUE(window->ShowingAllProjectors());
    EXPECT_FALSE(window->Action(kCmdRename)->isEnabled());
    EXPECT_FALSE(window->Button(kCmdDeleteGroup)->isEnabled());
}

TEST_F(MainCommandsTest, AnsweringNoKeepsTheGroupAndSendsNothing) {
    Start({{"Lobby", "North"}}, {"Lobby"});
    ASSERT_TRUE(WaitForGroupsPolled());
    SelectGroup(0);
    ModalScript script;
    script.Then(script.Answer(QMessageBox::No));
    groupCommands->DeleteGroup();
    ASSERT_TRUE(script.Finished());
    QTest::qWait(200);
    EXPECT_TRUE(Received("set=group").empty());
    EXPECT_EQ(store->LoadGroupNames(), (std::vector<std::string>{"Lobby"}));
}

TEST_F(MainCommandsTest, RenameReachesTheMembersAndSurvivesARestart) {
    Start({{"Lobby", "North"}, {"Lab", "Bench"}}, {"Lab", "Lobby"});
    SchedTask task;
    task.enabled = 1;
    task.command = 1;
    ASSERT_NE(store->WriteGroupTask("Lobby", 2, &task), 0);
    ASSERT_TRUE(WaitForGroupsPolled());
    SelectGroup(1);

    ModalScript script;
    script.Then(OnDialog<CRenGrpDlg>([](CRenGrpDlg& d) {
        EXPECT_EQ(d.CurrentNameLabel()->text(), "Lobby");
        QTest::keyClicks(d.NewNameEdit(), "Foyer");
        QMetaObject::invokeMethod(
            &d, [&d] { ClickOk(d); }, Qt::QueuedConnection);
    }));
    window->Action(kCmdRename)->trigger();
    ASSERT_TRUE(script.Finished());
    EXPECT_EQ(window->GroupList()->item(1)->text(), "Foyer");
    EXPECT_EQ(window->Title(), "Foyer");
    ASSERT_TRUE(WaitForReceived("set=group", 1));
    EXPECT_EQ(Received("set=group")[0],
              std::make_pair(fleet->Address(0), BuildGroupRecord("Foyer", "North")));
    // The member shows at once under its new group.
    ASSERT_TRUE(WaitForRows(1));

    CloseWindow();
    store = std::make_unique<RegStore>(dir.File(), "Vistrel");
    EXPECT_EQ(store->LoadGroupNames(), (std::vector<std::string>{"Foyer", "Lab"}));
    SchedTask moved;
    ASSERT_EQ(store->ReadGroupTask("Foyer", 2, &moved), 1);
    EXPECT_EQ(moved.enabled, 1);
    EXPECT_EQ(moved.command, 1);
    OpenWindow();
    QStringList shown;
    for (int i = 0; i < window->GroupList()->count(); ++i)
        shown << window->GroupList()->item(i)->text();
    EXPECT_EQ(shown, QStringList({"Foyer", "Lab"}));
}

// A group key the list does not show (added by another program while the window runs)
// would otherwise keep the old key and lose the rename at the next start.
TEST_F(MainCommandsTest, RenameOntoAStoredKeyTheListDoesNotShowIsRefused) {
    Start({}, {"Lab"});
    SelectGroup(0);
    RegStore other(dir.File(), "Vistrel");
    ASSERT_TRUE(other.OpenGroupKey("Aula", kGroupKeyRoot, 0));

    ModalScript script;
    script.Then(OnDialog<CRenGrpDlg>([](CRenGrpDlg& d) {
        QTest::keyClicks(d.NewNameEdit(), "aula ");
        QMetaObject::invokeMethod(
            &d, [&d] { ClickOk(d); }, Qt::QueuedConnection);
    }));
    script.Then(script.Answer(QMessageBox::Ok));
    script.Then(OnDialog<CRenGrpDlg>([](CRenGrpDlg& d) {
        QMetaObject::invokeMethod(&d, &QDialog::reject, Qt::QueuedConnection);
    }));
    window->Action(kCmdRename)->trigger();
    ASSERT_TRUE(script.Finished());
    ASSERT_EQ(script.boxes.size(), 1u);
    EXPECT_EQ(script.boxes[0].text, "The Group aula has already existed");
    EXPECT_EQ(window->GroupList()->item(0)->text(), "Lab");
    EXPECT_EQ(store->LoadGroupNames(), (std::vector<std::string>{"Aula", "Lab"}));

    // A key that appears while the dialog is open is caught by the command itself.
    ASSERT_TRUE(other.OpenGroupKey("Zeta", kGroupKeyRoot, 0));
    ModalScript late;
    late.Then(late.Answer(QMessageBox::Ok));
    groupCommands->RenameGroupTo(0, "ZETA");
    ASSERT_TRUE(late.Finished());
    ASSERT_EQ(late.boxes.size(), 1u);
    EXPECT_EQ(late.boxes[0].text, "The Group ZETA has already existed");
    EXPECT_EQ(window->GroupList()->item(0)->text(), "Lab");
    EXPECT_EQ(store->LoadGroupNames(), (std::vector<std::string>{"Aula", "Lab", "Zeta"}));

    // A change of case of the group's own name is still a rename.
    groupCommands->RenameGroupTo(0, "LAB");
    EXPECT_EQ(window->GroupList()->item(0)->text(), "LAB");
    EXPECT_EQ(store->LoadGroupNames(), (std::vector<std::string>{"Aula", "LAB", "Zeta"}));
}

// Names a projector keeps in a legacy 8-bit encoding show as the letters they stand for,
// while what goes back on the wire is still the projector's own bytes.
TEST_F(MainCommandsTest, LegacyEightBitNamesShowAsTextAndGoBackAsTheirBytes) {
    const std::string hoersaal = "H\xF6rsaal";  // one byte for the "ö"
    Start({{"Lab", hoersaal}}, {"Lab", "Lobby"});
    ASSERT_TRUE(WaitForGroupsPolled());
    ASSERT_TRUE(WaitForRows(1));
    ProjectorListModel* model = window->Model();
    EXPECT_EQ(model->Cell(0, ProjectorListModel::kProjectorName), hoersaal);
    EXPECT_EQ(model->data(model->index(0, ProjectorListModel::kProjectorName), Qt::DisplayRole)
                  .toString(),
              QString::fromUtf8("H\xC3\xB6rsaal"));

    groupCommands->MoveProjectorsTo({fleet->Mac(0)}, "Lobby", 1);
    ASSERT_TRUE(WaitForReceived("set=group", 1));
    EXPECT_EQ(Received("set=group")[0].second, BuildGroupRecord("Lobby", hoersaal));
}

TEST_F(MainCommandsTest, MoveSendsTheChosenGroupAndRowsFollowWhatProjectorsReport) {
    Start({{"", "P1"}, {"", "P2"}, {"", "P3"}}, {"Lab", "Lobby"});
    ASSERT_TRUE(WaitForGroupsPolled());
    ASSERT_TRUE(WaitForRows(3));
    const int a = RowOfAddress(fleet->Address(0));
    const int c = RowOfAddress(fleet->Address(2));
    SelectRows({a, c});
    ASSERT_TRUE(window->Action(kCmdMoveToGroup)->isEnabled());

    ModalScript script;
    script.Then(OnDialog<CGrpActDlg>([](CGrpActDlg& d) {
        EXPECT_EQ(d.ActionLabel()->text(), "Move to:");
        d.GroupBox()->setCurrentRow(1);
        QMetaObject::invokeMethod(
            &d, [&d] { ClickOk(d); }, Qt::QueuedConnection);
    }));
    window->Action(kCmdMoveToGroup)->trigger();
    ASSERT_TRUE(script.Finished());
    EXPECT_EQ(window->SelectedGroupName(), "Lobby");
    EXPECT_FALSE(window->ShowingAllProjectors());

    ASSERT_TRUE(WaitForReceived("set=group", 2));
    QTest::qWait(100);
    const auto got = Received("set=group");
    ASSERT_EQ(got.size(), 2u);
    for (const auto& [address, body] : got) {
        const auto index = fleet->FindByAddress(address);
        ASSERT_TRUE(index);
        EXPECT_EQ(body, BuildGroupRecord("Lobby", fleet->State(*index).name));
    }
    EXPECT_EQ(Addresses(got), (std::set<std::string>{fleet->Address(0), fleet->Address(2)}));
    // Once the projectors report their new group, the group's list shows them.
    ASSERT_TRUE(WaitForRows(2, [&] {
        return RowOfAddress(fleet->Address(0)) >= 0 && RowOfAddress(fleet->Address(2)) >= 0;
    }));
}

TEST_F(MainCommandsTest, GoToTheCurrentGroupChangesNothingAnotherGroupIsShown) {
    Start({{"Lab", "Bench"}}, {"Lab", "Lobby"});
    SelectGroup(1);
    ModalScript same;
    same.Then(OnDialog<CGrpActDlg>([](CGrpActDlg& d) {
        EXPECT_EQ(d.ActionLabel()->text(), "Go to:");
        d.GroupBox()->setCurrentRow(1);
        QMetaObject::invokeMethod(
            &d, [&d] { ClickOk(d); }, Qt::QueuedConnection);
    }));
    window->Action(kCmdGoToOthers)->trigger();
    ASSERT_TRUE(same.Finished());
    EXPECT_EQ(window->SelectedGroupName(), "Lobby");
    EXPECT_EQ(window->Title(), "Lobby");

    ModalScript other;
    other.Then(OnDialog<CGrpActDlg>([](CGrpActDlg& d) {
        d.GroupBox()->setCurrentRow(0);
        QMetaObject::invokeMethod(
            &d, [&d] { ClickOk(d); }, Qt::QueuedConnection);
    }));
    window->Action(kCmdGoToOthers)->trigger();
    ASSERT_TRUE(other.Finished());
    EXPECT_EQ(window->SelectedGroupName(), "Lab");
    EXPECT_EQ(window->Title(), "Lab");
    ASSERT_TRUE(WaitForRows(1));
}

TEST_F(MainCommandsTest, IntervalZeroIsAcceptedStoredAndRunsAtTheFloorPeriod) {
    Start({});
    ModalScript script;
    script.Then(OnDialog<CRefreshDlg>([](CRefreshDlg& d) {
        EXPECT_EQ(d.SecondsEdit()->text(), "10");
        d.SecondsEdit()->setText("0");
        QMetaObject::invokeMethod(
            &d, [&d] { ClickOk(d); }, Qt::QueuedConnection);
    }));
    window->Action(kCmdSetInterval)->trigger();
    ASSERT_TRUE(script.Finished());
    EXPECT_EQ(window->RefreshInterval(), 0u);
    EXPECT_EQ(store->GetAppDword("Interval", 10000), 0u);

    // The cycle runs, but at its floor period rather than on every pass of the event loop.
    EXPECT_EQ(window->DiscoveryTimerMs(), static_cast<int>(CVistrelDlg::kShortestTimerMs));
    backend->cycles = 0;
    QTest::qWait(1000);
    EXPECT_GE(backend->cycles.load(), 1);
    EXPECT_LE(backend->cycles.load(), 8);

    groupCommands->ApplyInterval(7);
    EXPECT_EQ(window->RefreshInterval(), 7000u);
    EXPECT_EQ(store->GetAppDword("Interval", 0), 7000u);
}

TEST_F(MainCommandsTest, SettingsCommandsStayDisabledUntilTheirDialogsExist) {
    Start({{"", "P1"}});
    ASSERT_TRUE(WaitForRows(1));
    window->Model()->SetChecked(0, true);
    SelectRows({0});
    EXPECT_TRUE(window->Button(kCmdPowerOn)->isEnabled());
    EXPECT_FALSE(window->Action(kCmdSetting)->isEnabled());
    EXPECT_FALSE(window->Button(kCmdGroupSettingButton)->isEnabled());
    EXPECT_FALSE(window->Action(kCmdProperty)->isEnabled());

    projectorCommands->SetGroupSettingsRunner([](const std::string&) {});
    projectorCommands->SetProjectorSettingsRunner(
        [](const std::string&, const std::string&, const std::string&) {});
    window->Model()->SetChecked(0, false);
    window->Model()->SetChecked(0, true);
    SelectRows({});
    SelectRows({0});
    EXPECT_TRUE(window->Action(kCmdSetting)->isEnabled());
    EXPECT_TRUE(window->Button(kCmdGroupSettingButton)->isEnabled());
    EXPECT_TRUE(window->Action(kCmdProperty)->isEnabled());
}

TEST_F(MainCommandsTest, GroupDoubleClickWithNothingTickedOpensNothingAndPollingGoesOn) {
    Start({{"Lab", "P1"}, {"Lab", "P2"}}, {"Lab"});
    std::vector<std::string> opened;
    bool pausedWhileOpen = false;
    projectorCommands->SetGroupSettingsRunner([&](const std::string& group) {
        opened.push_back(group);
        pausedWhileOpen = backend->poller().Paused();
    });
    ASSERT_TRUE(WaitForGroupsPolled());
    SelectGroup(0);
    ASSERT_TRUE(WaitForRows(2));

    CGrpList* list = window->GroupList();
    const QRect item = list->visualItemRect(list->item(0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, item.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, item.center());
    EXPECT_TRUE(opened.empty());
    EXPECT_TRUE(backend->pauseCalls.empty());
    EXPECT_FALSE(backend->poller().Paused());
    const uint64_t passes = backend->poller().Passes();
    ASSERT_TRUE(QTest::qWaitFor([&] { return backend->poller().Passes() > passes; }, 5000));

    // With a tick, the group settings open for the shown group, polling paused meanwhile.
    window->Model()->SetChecked(1, true);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, item.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, item.center());
    ASSERT_EQ(opened, (std::vector<std::string>{"Lab"}));
    EXPECT_TRUE(pausedWhileOpen);
    EXPECT_FALSE(backend->poller().Paused());
    EXPECT_EQ(backend->pauseCalls, (std::vector<bool>{true, false}));
    ASSERT_EQ(console->targetMacs.size(), 1u);
    EXPECT_EQ(console->targetMacs[0], window->Model()->Cell(1, ProjectorListModel::kMac));

    // In "All Projectors" mode the dialog gets that name.
    window->ShowAllProjectors();
    ASSERT_TRUE(WaitForRows(2));
    window->Action(kCmdSetting)->trigger();
    EXPECT_EQ(opened.back(), "All Projectors");
}

TEST_F(MainCommandsTest, PropertyOpensOnlyForExactlyOneSelectedRow) {
    Start({{"Lab", "P1"}, {"Lab", "P2"}}, {"Lab"});
    std::vector<std::string> opened;
    projectorCommands->SetProjectorSettingsRunner(
        [&](const std::string& ip, const std::string& group, const std::string& name) {
            opened.push_back(ip + "|" + group + "|" + name);
        });
    ASSERT_TRUE(WaitForGroupsPolled());
    ASSERT_TRUE(WaitForRows(2, [&] {
        return window->Model()->Cell(0, ProjectorListModel::kProjectorName).size() == 2 &&
               window->Model()->Cell(1, ProjectorListModel::kProjectorName).size() == 2;
    }));
    SelectRows({0, 1});
    projectorCommands->OpenProjectorSettings(1);  // a double-click while two are selected
    EXPECT_TRUE(opened.empty());
    ASSERT_EQ(console->targetIps.size(), 1u);
    EXPECT_EQ(console->targetIps[0], window->Model()->Cell(1, ProjectorListModel::kIp));

    SelectRows({});
    window->Action(kCmdProperty)->trigger();
    EXPECT_TRUE(opened.empty());

    QTableView* view = window->ProjectorView();
    const QRect cell = view->visualRect(window->ViewIndex(1, 1));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, cell.center());
    ASSERT_EQ(opened.size(), 1u);
    const ProjectorListModel* model = window->Model();
    EXPECT_EQ(opened[0], model->Cell(1, ProjectorListModel::kIp) + "|Lab|" +
                             model->Cell(1, ProjectorListModel::kProjectorName));
    EXPECT_EQ(backend->pauseCalls, (std::vector<bool>{true, false}));

    // Below the last row nothing opens.
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {},
                       QPoint(cell.center().x(), view->viewport()->height() - 2));
    EXPECT_EQ(opened.size(), 1u);
}

TEST_F(MainCommandsTest, ContextMenuCopiesTheProjectorMenuUpToProperty) {
    Start({{"", "P1"}, {"", "P2"}});
    projectorCommands->SetProjectorSettingsRunner(
        [](const std::string&, const std::string&, const std::string&) {});
    ASSERT_TRUE(WaitForRows(2));
    SelectRows({0});
    std::unique_ptr<QMenu> menu(projectorCommands->BuildContextMenu());
    QStringList items;
    for (QAction* action : menu->actions())
        items << (action->isSeparator() ? "-" : action->text());
    EXPECT_EQ(items,
              QStringList({"&Move To Group", "-", "&Check All", "&Uncheck All", "-", "&Property"}));
    EXPECT_TRUE(window->Action(kCmdProperty)->isEnabled());
    SelectRows({0, 1});
    menu.reset(projectorCommands->BuildContextMenu());
    EXPECT_FALSE(window->Action(kCmdProperty)->isEnabled());
}

TEST_F(MainCommandsTest, RefreshAllEmptiesTheListAndTheAnswersRefillIt) {
    Start({{"", "P1"}, {"", "P2"}, {"", "P3"}});
    ASSERT_TRUE(WaitForRows(3));
    const int broadcasts = backend->broadcasts.load();
    QTest::mouseClick(window->Button(kCmdRefreshAll), Qt::LeftButton);
    EXPECT_EQ(window->Model()->RowCount(), 0);
    EXPECT_EQ(backend->broadcasts.load(), broadcasts + 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->Model()->RowCount() == 3; }, 8000));
}

}  // namespace
}  // namespace vistrel::test
