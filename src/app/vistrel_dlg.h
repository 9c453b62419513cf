// The console's main window: group pane on the left, projector list on the right, a top bar
// of icon buttons and the source selector. It owns the timers that refresh the list, run
// discovery and the schedules and watch the request worker, and it starts and stops the
// polling and worker threads.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/console_backend.h"
#include "app/fleet_status_bar.h"
#include "health/fleet_health.h"
#include "health/health_report.h"
#include "protocol/console.h"

class QComboBox;
class QFrame;
#include <QLabel>
class QLineEdit;
class QMenu;
class QSocketNotifier;
class QTableView;

namespace vistrel {

class AllProjectorsButton;
class CGrpList;
class CMyButton;
class CStaticText;
class ElidedTitle;
class ProjectorListModel;
class ProjectorListProxy;

// Command identifiers of the menu and the top bar; actions and buttons carry them.
enum CommandId : int {
    kCmdAddGroup = 1008,
    kCmdDeleteGroup = 1009,
    kCmdGroupPane = 1007,
    kCmdRefreshAll = 1018,
    kCmdCheckAllButton = 1014,
    kCmdUncheckAllButton = 1015,
    kCmdPowerOn = 1013,
    kCmdPowerOff = 1010,
    kCmdGroupSettingButton = 1012,
    kCmdSourceSelector = 1011,
    kCmdAllProjectorsButton = 1017,
    kCmdSetInterval = 32779,
    kCmdAbout = 32780,
    kCmdGoToAll = 32781,
    kCmdGoToOthers = 32782,
    kCmdDelete = 32788,
    kCmdCheckAll = 32790,
    kCmdNew = 32791,
    kCmdRename = 32794,
    kCmdSetting = 32795,
    kCmdMoveToGroup = 32796,
    kCmdUncheckAll = 32797,
    kCmdProperty = 32798,
    kCmdAutoSearch = 32799,
    kCmdExit = 32800,
    kCmdFleetReport = 32801,
    kCmdHealthThresholds = 32802,
    kCmdAddPjlink = 32803,
    kCmdPjlinkPassword = 32804,
};

class CVistrelDlg : public QMainWindow {
    Q_OBJECT
  public:
    static constexpr std::chrono::milliseconds kThreadGrace{6000};
    static constexpr int kListTimerMs = 2000;
    static constexpr int kScheduleTimerMs = 5000;
    static constexpr int kWatchdogTimerMs = 1000;
    static constexpr int kRelocationFollowMs = 200;
    static constexpr uint32_t kDefaultInterval = 10000;
    // A stored interval of 0 runs the discovery cycle at this floor. A zero-period timer
    // would fire on every pass of the event loop, and even 10 ms would bring a large fleet's
    // answers to every probe a hundred times a second onto the GUI thread.
    static constexpr uint32_t kShortestTimerMs = 250;
    static QColor AllModeBack() { return QColor(230, 230, 155); }
    static QColor GroupModeBack() { return QColor(210, 210, 210); }
    static QColor PaletteDark() { return QColor(71, 58, 101); }
    static QColor PaletteLight() { return QColor(131, 113, 172); }

    CVistrelDlg(Console& console, ConsoleBackend& backend, QWidget* parent = nullptr);
    ~CVistrelDlg() override;

    // The list walk for the current or given mode. `guard` is the caller's table lock.
    void RefreshProjectorList(bool allProjectors, ProjectorTable::Guard& guard);
    // Takes the lock and refreshes for the current mode.
    void RefreshNow();
    void ShowGroup();  // the group list's selection
    void ShowAllProjectors();
    void ToggleGroupPane();
    // Stops polling, then the worker, each within its grace. Safe to call twice.
    void Shutdown();

    // Polling stays paused while a settings dialog is open.
    void PausePolling();
    void ResumePolling();
    // Restarts timer 1 with a new period; false when it was not running.
    bool RestartDiscoveryTimer(uint32_t intervalMs);
    // Message 0x590 of a projector network page: probe now and let `waiter` know when the
    // relocated projector answers from its new address.
    void OnRelocationProbe(std::weak_ptr<RelocationWindow> waiter);

    // Widgets and state for the commands and for tests.
    QAction* Action(int commandId) const;
    CMyButton* Button(int commandId) const;
    QComboBox* SourceSelector() const { return sourceSelector_; }
    CGrpList* GroupList() const { return groupList_; }
    QTableView* ProjectorView() const { return projectorList_; }
    // The rows in table (discovery) order; the view shows them through Proxy(), which
    // filters and sorts without moving them.
    ProjectorListModel* Model() const { return model_; }
    ProjectorListProxy* Proxy() const { return proxy_; }
    QLineEdit* FindField() const { return findField_; }
    QLabel* ShownCount() const { return shownCount_; }
    // The view's index of a model cell (invalid when the find text hides the row).
    QModelIndex ViewIndex(int sourceRow, int column) const;
    // Model rows of the selected view rows, in table order.
    std::vector<int> SelectedSourceRows() const;
    // Model rows the view shows, in table order.
    std::vector<int> ShownSourceRows() const;
    // Ticks every row the view shows ("Check All", Ctrl+A in the list).
    void CheckShownRows();
    AllProjectorsButton* AllButton() const { return allButton_; }
    QWidget* Logo() const { return logo_; }
    QWidget* TitleWidget() const;
    QString Title() const;
    QMenu* GroupMenu() const { return groupMenu_; }
    QMenu* ProjectorMenu() const { return projectorMenu_; }
    bool ShowingAllProjectors() const { return showAllProjectors_; }
    bool GroupPaneVisible() const { return groupPaneVisible_; }
    uint32_t RefreshInterval() const { return refreshInterval_; }
    // Period timer 1 runs with; -1 when stopped.
    int DiscoveryTimerMs() const { return timer1_.isActive() ? timer1_.interval() : -1; }
    std::vector<std::string>& GroupNames() { return groupNames_; }
    std::string SelectedGroupName() const;
    Console& console() { return console_; }
    ConsoleBackend& backend() { return backend_; }
    bool DiscoveryOpen() const { return discoveryOpen_; }
    // The top-bar controls in the order the resize rule tests them, right to left.
    std::vector<QWidget*> TopBarControls() const;
    QWidget* TopBar() const { return topBar_; }

    // Fleet health: the model fed by discovery and polling, the counts under the list and the
    // filter they set. The filter is a view on the list like the find text.
    FleetHealth& Health() { return *health_; }
    FleetStatusBar* StatusBar() const { return statusBar_; }
    void SetHealthFilter(HealthFilter filter);
    HealthFilter ActiveHealthFilter() const { return healthFilter_; }
    // Marks the rows and counts them again from the health model (every list refresh).
    void UpdateHealth();
    const HealthThresholds& Thresholds() const { return thresholds_; }
    // Thresholds in force from now on (stored already).
    void ApplyThresholds(const HealthThresholds& thresholds);
    // Every projector seen this run, with the names the table holds for it.
    HealthReport CurrentHealthReport();
    void OpenFleetReport();
    void OpenHealthThresholds();
    QWidget* TopLeftPanel() const { return topLeftPanel_; }

  signals:
    // Double-click on a row (never on empty space): open that projector's settings.
    void projectorActivated(int row);
    // Double-click on a group item.
    void groupActivated(int row);
    // Timers fired (tests watch the rhythm).
    void listRefreshed();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    class ClientArea;
    friend class ClientArea;

    void BuildMenu();
    void BuildControls();
    void Initialise();
    void PlaceInitialControls();
    void BuildFindBar();
    // The find field and the shown count sit on a row just above the list.
    void PlaceFindBar();
    void UpdateShownCount();
    void PlaceStatusBar();
    void ApplyHealthLook();
    void OnHeaderClicked(int column);
    bool HandleListKey(QKeyEvent* event);
    // Widths that show each column's longest text within `listWidth`, the list's width at
    // the window's designed size.
    void SizeColumns(int listWidth);
    void LayoutClient(const QSize& client);
    void PaintClient(QPainter& painter);
    void SetListColours(bool allMode);
    void ApplyEmptyListState();
    void AfterWalkEnabling();
    void OnTicksOrSelectionChanged();
    void OnDiscoveryReadable();
    void OnSearchReadable();
    // Projector > Add PJLink Projector..., Tools > PJLink Password...
    void AddPjlinkProjectors();
    void SetPjlinkPassword();
    void ReportDiscoveryFailure(const ConsoleBackend::DiscoveryStatus& status);
    void OnTimer1();
    void OnTimer2();
    void OnTimer4();
    void OnTimer5();
    void StartDiscoveryTimer(uint32_t intervalMs);
    void SetCommandEnabled(int commandId, bool enabled);
    int SelectedRowCount() const;

    Console& console_;
    ConsoleBackend& backend_;

    // Widgets, in the order of the window's members.
    ClientArea* client_ = nullptr;
    CGrpList* groupList_ = nullptr;
    QTableView* projectorList_ = nullptr;
    ProjectorListModel* model_ = nullptr;
    ProjectorListProxy* proxy_ = nullptr;
    QLineEdit* findField_ = nullptr;
    QLabel* shownCount_ = nullptr;
    FleetStatusBar* statusBar_ = nullptr;
    std::shared_ptr<FleetHealth> health_;
    HealthThresholds thresholds_;
    HealthFilter healthFilter_ = HealthFilter::kAll;
    // Coalesces count updates: a burst of discovered rows updates the label once.
    QTimer shownCountTimer_;
    QSocketNotifier* discovery_ = nullptr;
    QSocketNotifier* search_ = nullptr;
    std::vector<std::string> groupNames_;
    CStaticText* groupCaption_ = nullptr;
    CStaticText* sourceCaption_ = nullptr;
    std::map<int, CMyButton*> buttons_;
    QComboBox* sourceSelector_ = nullptr;
    QFrame* separator_ = nullptr;
    QLabel* logo_ = nullptr;
    QWidget* topBar_ = nullptr;
    QWidget* topLeftPanel_ = nullptr;
    ElidedTitle* title_ = nullptr;
    AllProjectorsButton* allButton_ = nullptr;
    QMenu* groupMenu_ = nullptr;
    QMenu* projectorMenu_ = nullptr;
    std::map<int, QAction*> actions_;

    int sourceIndex_ = -1;
    bool showAllProjectors_ = true;
    uint32_t refreshInterval_ = kDefaultInterval;
    bool groupPaneVisible_ = true;
    bool discoveryOpen_ = false;
    bool shutDown_ = false;
    QSize clientSize_;

    QTimer timer1_;
    QTimer timer2_;
    QTimer timer4_;
    QTimer timer5_;
    // Follows a relocated projector, independent of Auto Search (timer 1).
    QTimer relocationTimer_;
};

}  // namespace vistrel
