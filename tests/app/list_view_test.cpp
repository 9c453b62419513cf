// The projector list's view: the find field, sorting by a header and the keyboard, over the
// model that keeps discovery order. Commands after filtering and sorting must still reach
// exactly the ticked projectors of the simulated fleet.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QAccessible>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QTest>
#include <set>

#include "app/command_test_support.h"
#include "app/gui_test_env.h"
#include "app/projector_list_model.h"
#include "app/projector_list_proxy.h"
#include "controls/grp_list.h"
#include "controls/my_button.h"

namespace vistrel::test {
namespace {

void ClickHeader(CVistrelDlg& window, int column) {
    QHeaderView* header = window.ProjectorView()->horizontalHeader();
    const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                    header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
}

// The column's texts in the order the view shows them.
std::vector<std::string> Shown(const CVistrelDlg& window, int column) {
    std::vector<std::string> texts;
    const QAbstractItemModel* view = window.ProjectorView()->model();
    for (int row = 0; row < view->rowCount(); ++row)
        texts.push_back(view->index(row, column).data().toString().toStdString());
    return texts;
}

std::vector<std::string> InTableOrder(const CVistrelDlg& window, int column) {
    std::vector<std::string> texts;
    for (int row = 0; row < window.Model()->RowCount(); ++row)
        texts.push_back(window.Model()->Cell(row, column));
    return texts;
}

class ListViewFleetTest : public CommandFixture {
  protected:
    int RowOfName(const std::string& name) const {
        for (int row = 0; row < window->Model()->RowCount(); ++row) {
            if (window->Model()->Cell(row, ProjectorListModel::kProjectorName) == name)
                return row;
        }
        return -1;
    }
    std::set<std::string> AddressesOf(const std::vector<std::string>& names) const {
        std::set<std::string> addresses;
        for (const std::string& name : names) {
            addresses.insert(window->Model()->Cell(RowOfName(name), ProjectorListModel::kIp));
        }
        return addresses;
    }
    // Starts six named projectors and waits until the list shows every name.
    void StartNamedFleet() {
        Start({{"", "Lobby A"},
               {"", "Hall 1"},
               {"", "Lobby B"},
               {"", "Hall 2"},
               {"", "Lab"},
               {"", "lobby C"}});
        ASSERT_TRUE(WaitForRows(6, [&] {
            for (const char* name : {"Lobby A", "Hall 1", "Lobby B", "Hall 2", "Lab", "lobby C"}) {
                if (RowOfName(name) < 0)
                    return false;
            }
            return true;
        }));
    }
};

TEST_F(ListViewFleetTest, FilterAndSortKeepTicksAndCommandsOnTheTickedProjectors) {
    StartNamedFleet();
    const std::vector<std::string> discovery = InTableOrder(*window, ProjectorListModel::kMac);
    // One ticked projector that the find text is about to hide.
    window->Model()->SetChecked(RowOfName("Hall 1"), true);

    QTest::keyClicks(window->FindField(), "LOBBY");
    EXPECT_EQ(window->Proxy()->rowCount(), 3);
    QTRY_COMPARE(window->ShownCount()->text(), QStringLiteral("3 of 6 shown, 1 ticked not shown"));
    EXPECT_TRUE(window->Button(kCmdCheckAllButton)->toolTip().contains("shown"));
    QTest::mouseClick(window->Button(kCmdCheckAllButton), Qt::LeftButton);
    // Sorted by name, descending: the view moves, the table and the ticks do not.
    ClickHeader(*window, ProjectorListModel::kProjectorName);
    ClickHeader(*window, ProjectorListModel::kProjectorName);
    EXPECT_EQ(Shown(*window, ProjectorListModel::kProjectorName),
              (std::vector<std::string>{"lobby C", "Lobby B", "Lobby A"}));
    EXPECT_EQ(InTableOrder(*window, ProjectorListModel::kMac), discovery);
    std::set<std::string> ticked;
    for (int row = 0; row < window->Model()->RowCount(); ++row) {
        if (window->Model()->IsChecked(row))
            ticked.insert(window->Model()->Cell(row, ProjectorListModel::kProjectorName));
    }
    EXPECT_EQ(ticked, (std::set<std::string>{"Lobby A", "Lobby B", "lobby C", "Hall 1"}));
    for (const char* name : {"Lobby A", "Hall 1", "Hall 2", "Lab"}) {
        const std::string mac = window->Model()->Cell(RowOfName(name), ProjectorListModel::kMac);
        EXPECT_EQ(store->GetProjectorDword(mac, kProjectorKeyRoot, 0, "Checked", 0),
                  ticked.count(name) ? 1u : 0u)
            << name;
    }

    // The bulk command reaches exactly the ticked projectors, shown or not.
    QTest::mouseClick(window->Button(kCmdPowerOn), Qt::LeftButton);
    ASSERT_TRUE(WaitForReceived("command=~0000 1", 4));
    QTest::qWait(200);  // nothing more is on its way: the batch was four requests
    std::set<std::string> reached;
    for (const auto& [address, body] : Received("command=~0000 1"))
        reached.insert(address);
    EXPECT_EQ(Received("command=~0000 1").size(), 4u);
    EXPECT_EQ(reached, AddressesOf({"Lobby A", "Lobby B", "lobby C", "Hall 1"}));

    // The find text matches MACs and addresses too, ignoring case; Esc clears it.
    const std::string labMac = window->Model()->Cell(RowOfName("Lab"), ProjectorListModel::kMac);
    window->FindField()->setText(QString::fromStdString(labMac).toLower());
    EXPECT_EQ(Shown(*window, ProjectorListModel::kProjectorName), std::vector<std::string>{"Lab"});
    const std::string hallIp = window->Model()->Cell(RowOfName("Hall 2"), ProjectorListModel::kIp);
    window->FindField()->setText(QString::fromStdString(hallIp));
    EXPECT_EQ(Shown(*window, ProjectorListModel::kProjectorName),
              std::vector<std::string>{"Hall 2"});
    window->FindField()->setFocus();
    QTest::keyClick(window->FindField(), Qt::Key_Escape);
    EXPECT_TRUE(window->FindField()->text().isEmpty());
    EXPECT_EQ(window->Proxy()->rowCount(), 6);
    QTRY_COMPARE(window->ShownCount()->text(), QStringLiteral("6 shown"));
    EXPECT_TRUE(window->isVisible());  // Esc in the field never closes the console
}

TEST_F(ListViewFleetTest, KeyboardMovesTicksOpensTheDialogAndReachesTheGroupPane) {
    StartNamedFleet();
    std::vector<std::string> opened;
    projectorCommands->SetProjectorSettingsRunner(
        [&](const std::string& ip, const std::string&, const std::string& name) {
            opened.push_back(ip + "|" + name);
        });
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTableView* view = window->ProjectorView();
    ClickHeader(*window, ProjectorListModel::kProjectorName);  // Hall 1, Hall 2, Lab, ...
    view->setFocus();
    view->setCurrentIndex(view->model()->index(0, 0));
    QTest::keyClick(view, Qt::Key_Down);
    QTest::keyClick(view, Qt::Key_Down);
    const int lab = RowOfName("Lab");
    EXPECT_EQ(window->SelectedSourceRows(), std::vector<int>{lab});

    QTest::keyClick(view, Qt::Key_Space);
    EXPECT_TRUE(window->Model()->IsChecked(lab));
    const std::string labMac = window->Model()->Cell(lab, ProjectorListModel::kMac);
    EXPECT_EQ(store->GetProjectorDword(labMac, kProjectorKeyRoot, 0, "Checked", 0), 1u);
    EXPECT_TRUE(window->Button(kCmdPowerOn)->isEnabled());
    QTest::keyClick(view, Qt::Key_Space);
    EXPECT_FALSE(window->Model()->IsChecked(lab));
    EXPECT_EQ(store->GetProjectorDword(labMac, kProjectorKeyRoot, 0, "Checked", 0), 0u);

    // Enter opens the current row's settings, as a double-click does.
    QTest::keyClick(view, Qt::Key_Return);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], window->Model()->Cell(lab, ProjectorListModel::kIp) + "|Lab");
    EXPECT_EQ(console->targetMacs, std::vector<std::string>{labMac});

    // Ctrl+F goes to the find field; Ctrl+A in the list ticks the rows shown and no others.
    QTest::keyClick(window.get(), Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(QApplication::focusWidget(), window->FindField());
    QTest::keyClicks(window->FindField(), "hall");
    view->setFocus();
    QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(window->Model()->CheckedCount(), 2);
    EXPECT_TRUE(window->Model()->IsChecked(RowOfName("Hall 1")));
    EXPECT_TRUE(window->Model()->IsChecked(RowOfName("Hall 2")));

    // Tab leaves the list and comes round to the group pane (past the health counts' links).
    view->setFocus();
    bool reached = false;
    for (int i = 0; i < 6 + kHealthFilterCount && !reached; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        reached = QApplication::focusWidget() == window->GroupList();
    }
    EXPECT_TRUE(reached);
}

class ListViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window = std::make_unique<CVistrelDlg>(console, backend);
        window->show();
        tester = std::make_unique<QAbstractItemModelTester>(
            window->Proxy(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    }
    void Store(const std::string& mac, const std::string& ip, const std::string& lamp) {
        Info info = MakeInfo(mac, 5);
        info.ip = ip;
        info.lampHour = lamp;
        console.table.Lock().Store(info);
    }

    Console console;
    RecordingBackend backend;
    std::unique_ptr<CVistrelDlg> window;
    std::unique_ptr<QAbstractItemModelTester> tester;
};

TEST_F(ListViewTest, HeaderSortsNumbersAndAddressesAndTheThirdClickRestoresDiscoveryOrder) {
    Store("AAAAAAAAAAA1", "10.0.0.20", "900");
    Store("AAAAAAAAAAA2", "10.0.0.3", "1200");
    Store("AAAAAAAAAAA3", "10.0.0.100", "80");
    Store("AAAAAAAAAAA5", "10.0.0.200", "");  // in standby: no lamp hours
    window->RefreshNow();
    const std::vector<std::string> discovery{"AAAAAAAAAAA1", "AAAAAAAAAAA2", "AAAAAAAAAAA3",
                                             "AAAAAAAAAAA5"};
    QHeaderView* header = window->ProjectorView()->horizontalHeader();

    ClickHeader(*window, ProjectorListModel::kLampHour);
    EXPECT_EQ(Shown(*window, ProjectorListModel::kLampHour),
              (std::vector<std::string>{"80", "900", "1200", ""}));
    EXPECT_TRUE(header->isSortIndicatorShown());
    ClickHeader(*window, ProjectorListModel::kLampHour);
    EXPECT_EQ(Shown(*window, ProjectorListModel::kLampHour),
              (std::vector<std::string>{"1200", "900", "80", ""}));
    ClickHeader(*window, ProjectorListModel::kLampHour);
    EXPECT_EQ(Shown(*window, ProjectorListModel::kMac), discovery);
    EXPECT_FALSE(header->isSortIndicatorShown());

    ClickHeader(*window, ProjectorListModel::kIp);
    EXPECT_EQ(Shown(*window, ProjectorListModel::kIp),
              (std::vector<std::string>{"10.0.0.3", "10.0.0.20", "10.0.0.100", "10.0.0.200"}));
    // A projector found while the sort is on lands in its place; the table only appends.
    Store("AAAAAAAAAAA4", "10.0.0.50", "5");
    window->RefreshNow();
    EXPECT_EQ(Shown(*window, ProjectorListModel::kIp),
              (std::vector<std::string>{"10.0.0.3", "10.0.0.20", "10.0.0.50", "10.0.0.100",
                                        "10.0.0.200"}));
    EXPECT_EQ(InTableOrder(*window, ProjectorListModel::kMac),
              (std::vector<std::string>{"AAAAAAAAAAA1", "AAAAAAAAAAA2", "AAAAAAAAAAA3",
                                        "AAAAAAAAAAA5", "AAAAAAAAAAA4"}));
    // A changed address moves its row in the view, not in the table.
    {
        auto guard = console.table.Lock();
        guard.Find("AAAAAAAAAAA3")->ip = "10.0.0.1";
    }
    window->RefreshNow();
    EXPECT_EQ(Shown(*window, ProjectorListModel::kMac).front(), "AAAAAAAAAAA3");
    EXPECT_EQ(window->Model()->Cell(2, ProjectorListModel::kMac), "AAAAAAAAAAA3");

    // Rows that go in one walk, ticked and not, in two runs of the table; the others keep
    // their ticks, the table its order and the view its sort.
    for (int row : {1, 3, 4})  // AAAAAAAAAAA2, AAAAAAAAAAA5, AAAAAAAAAAA4
        window->Model()->SetChecked(row, true);
    {
        auto guard = console.table.Lock();
        for (const char* mac : {"AAAAAAAAAAA1", "AAAAAAAAAAA2", "AAAAAAAAAAA4"})
            guard.Find(mac)->freshness = 0;
    }
    window->RefreshNow();
    EXPECT_EQ(InTableOrder(*window, ProjectorListModel::kMac),
              (std::vector<std::string>{"AAAAAAAAAAA3", "AAAAAAAAAAA5"}));
    EXPECT_EQ(Shown(*window, ProjectorListModel::kIp),
              (std::vector<std::string>{"10.0.0.1", "10.0.0.200"}));
    EXPECT_EQ(window->Model()->CheckedCount(), 1);
    EXPECT_EQ(window->Model()->FindRow("AAAAAAAAAAA5"), 1);
    EXPECT_TRUE(window->Model()->IsChecked(1));
}

TEST_F(ListViewTest, EveryControlHasAnAccessibleNameInTheAccessibilityTree) {
    Store("AAAAAAAAAAA1", "10.0.0.20", "900");
    Store("AAAAAAAAAAA2", "10.0.0.3", "1200");
    window->RefreshNow();
    QApplication::processEvents();

    // Everything the tree reaches from the window, down to the controls (not their cells).
    std::set<QObject*> inTree;
    std::vector<QAccessibleInterface*> pending{QAccessible::queryAccessibleInterface(window.get())};
    while (!pending.empty()) {
        QAccessibleInterface* iface = pending.back();
        pending.pop_back();
        if (!iface || !inTree.insert(iface->object()).second)
            continue;
        if (iface->role() == QAccessible::Table || iface->role() == QAccessible::List)
            continue;
        for (int i = 0; i < iface->childCount(); ++i)
            pending.push_back(iface->child(i));
    }

    int checked = 0;
    for (QWidget* control :
         window->centralWidget()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        // The gradient bands and the separator are drawing, not controls.
        if (!control->isVisible() || control->testAttribute(Qt::WA_TransparentForMouseEvents) ||
            control->objectName() == "separator") {
            continue;
        }
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(control);
        ASSERT_NE(iface, nullptr);
        EXPECT_TRUE(inTree.count(control)) << control->objectName().toStdString();
        EXPECT_FALSE(iface->text(QAccessible::Name).isEmpty())
            << control->objectName().toStdString();
        ++checked;
    }
    EXPECT_GE(checked, 16);

    // A screen reader is told the rows the find text leaves.
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(window->ProjectorView());
    ASSERT_NE(list->tableInterface(), nullptr);
    EXPECT_EQ(list->tableInterface()->rowCount(), 2);
    window->FindField()->setText("aaaaaaaaaaa2");
    EXPECT_EQ(list->tableInterface()->rowCount(), 1);
}

}  // namespace
}  // namespace vistrel::test
