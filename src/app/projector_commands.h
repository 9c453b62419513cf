// The projector commands of the main window: power and source for the ticked projectors,
// ticking and unticking every row, the list's context menu, refreshing everything, and the
// two ways into the settings dialogs (group settings for the ticked rows, projector settings
// for one selected row). The settings dialogs themselves are run by runners that their own
// code installs; until a runner is installed its commands stay disabled.
#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <string>
#include <vector>

#include "app/command_context.h"

class QAction;
class QActionGroup;
class QMenu;

namespace vistrel {

class ProjectorCommands : public QObject {
    Q_OBJECT
  public:
    // Runs the group settings dialog modally for the target lists; `groupName` is the group
    // shown, or "All Projectors".
    using GroupSettingsRunner = std::function<void(const std::string& groupName)>;
    // Runs the projector settings dialog modally for the one projector of the target lists.
    using ProjectorSettingsRunner = std::function<void(
        const std::string& ip, const std::string& groupName, const std::string& projectorName)>;

    explicit ProjectorCommands(CommandContext context);
    ~ProjectorCommands() override;

    void SetGroupSettingsRunner(GroupSettingsRunner runner);
    void SetProjectorSettingsRunner(ProjectorSettingsRunner runner);
    bool GroupSettingsAvailable() const { return static_cast<bool>(groupSettings_); }
    bool ProjectorSettingsAvailable() const { return static_cast<bool>(projectorSettings_); }

    // Fills the target MAC and IP lists and the batch entries with the ticked rows, in list
    // order. Returns how many there are.
    size_t CollectTickedRows();
    // Sends `body` to every ticked projector in parallel, with no owner.
    void SendToTicked(const std::string& body);
    // Takes the PJLink projectors out of the batch and sends them the body's action.
    void SendPjlinkPart(const std::string& body);

    void PowerOn();
    void PowerOff();
    // The source selector's choice `index` (an entry of the source table).
    void ChooseSource(int index);
    void CheckAll();
    void UncheckAll();
    void RefreshAll();

    // Group settings for the ticked rows. Does nothing (and leaves polling running) when no
    // row is ticked or no runner is installed.
    void OpenGroupSettings();
    // Projector settings for `row` (the first selected row for "&Property"); opens only when
    // exactly one row is selected.
    void OpenProjectorSettings(int row);
    void OpenPropertyOfSelection();

    // The context menu of the projector list: the "&Projector" menu's items up to and
    // including "&Property", with their current state. The caller owns the menu.
    QMenu* BuildContextMenu();

  signals:
    // A settings dialog is about to run / has closed (tests watch the polling pause).
    void settingsDialogStarted();
    void settingsDialogFinished();

  private:
    void Connect();
    void ShowContextMenu(const QPoint& pos);
    void UpdateAvailability();
    std::vector<int> SelectedRows() const;

    CommandContext ctx_;
    GroupSettingsRunner groupSettings_;
    ProjectorSettingsRunner projectorSettings_;
    // Commands whose dialog is not there yet sit in a disabled group, which keeps them
    // disabled whatever the window's enabling rules say.
    QActionGroup* unavailable_ = nullptr;
};

}  // namespace vistrel
