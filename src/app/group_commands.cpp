#include "app/group_commands.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QItemSelectionModel>
#include <QPointer>
#include <QStringList>
#include <QTableView>
#include <algorithm>

#include "app/add_group_dialog.h"
#include "app/group_action_dialog.h"
#include "app/group_name_rules.h"
#include "app/projector_list_model.h"
#include "app/refresh_dialog.h"
#include "app/rename_group_dialog.h"
#include "app/vistrel_dlg.h"
#include "controls/grp_list.h"
#include "controls/message_box.h"
#include "controls/my_button.h"
#include "protocol/codec.h"
#include "protocol/request_ring.h"
#include "store/reg_store.h"

namespace vistrel {

namespace {

constexpr char kIntervalValue[] = "Interval";

// Gives the focus back to the widget that had it when the command began.
class FocusKeeper {
  public:
    FocusKeeper() : widget_(QApplication::focusWidget()) {}
    ~FocusKeeper() {
        if (widget_)
            widget_->setFocus();
    }

  private:
    QPointer<QWidget> widget_;
};

}  // namespace

GroupCommands::GroupCommands(CommandContext context) : QObject(&context.window), ctx_(context) {
    setObjectName(QStringLiteral("groupCommands"));
    CVistrelDlg& w = ctx_.window;
    connect(w.Button(kCmdAddGroup), &CMyButton::clicked, this, &GroupCommands::NewGroup);
    connect(w.Action(kCmdNew), &QAction::triggered, this, &GroupCommands::NewGroup);
    connect(w.Button(kCmdDeleteGroup), &CMyButton::clicked, this, &GroupCommands::DeleteGroup);
    connect(w.Action(kCmdDelete), &QAction::triggered, this, &GroupCommands::DeleteGroup);
    connect(w.Action(kCmdRename), &QAction::triggered, this, &GroupCommands::RenameGroup);
    connect(w.Action(kCmdMoveToGroup), &QAction::triggered, this, &GroupCommands::MoveToGroup);
    connect(w.Action(kCmdGoToOthers), &QAction::triggered, this, &GroupCommands::GoToGroup);
    connect(w.Action(kCmdSetInterval), &QAction::triggered, this, &GroupCommands::SetInterval);
}

QStringList GroupCommands::GroupEntries() const {
    QStringList entries;
    const CGrpList* list = ctx_.window.GroupList();
    for (int i = 0; i < list->count(); ++i)
        entries << list->item(i)->text();
    return entries;
}

void GroupCommands::SendGroupRecord(const std::string& ip, const std::string& group,
                                    const std::string& projectorName) {
    Console& console = ctx_.window.console();
    MsgCmd entry;
    entry.ip = ip;
    console.batch.assign(1, std::move(entry));
    // The batch works on its own copy, so the next member's entry never disturbs this one.
    ctx_.ring.SendBatch(BuildGroupRecord(group, projectorName), {});
}

void GroupCommands::SetGroupCommandsEnabled(bool any, bool several) {
    CVistrelDlg& w = ctx_.window;
    w.Action(kCmdGoToAll)->setEnabled(any);
    w.Action(kCmdGoToOthers)->setEnabled(several);
    w.Action(kCmdDelete)->setEnabled(any);
    w.Action(kCmdRename)->setEnabled(any);
    w.Button(kCmdDeleteGroup)->setEnabled(any);
}

// --- new ---------------------------------------------------------------------------------------

void GroupCommands::NewGroup() {
    CAddGroup dialog(GroupEntries(), &ctx_.window);
    if (dialog.exec() != QDialog::Accepted)
        return;
    AddGroupNamed(dialog.name.toStdString());
}

void GroupCommands::AddGroupNamed(const std::string& name) {
    if (name.empty())
        return;
    CVistrelDlg& w = ctx_.window;
    CGrpList* list = w.GroupList();
    list->setFocus();
    list->addItem(QString::fromStdString(name));
    list->setCurrentRow(list->count() - 1);
    w.GroupNames().push_back(name);
    ctx_.store.OpenGroupKey(name, kGroupKeyRoot, 0);

    w.Action(kCmdGoToAll)->setEnabled(true);
    w.Action(kCmdGoToOthers)->setEnabled(true);
    w.Action(kCmdDelete)->setEnabled(true);
    w.Action(kCmdRename)->setEnabled(true);
    for (int id : {kCmdSetting, kCmdMoveToGroup, kCmdProperty})
        w.Action(id)->setEnabled(false);
    w.Button(kCmdDeleteGroup)->setEnabled(true);
    for (int id : {kCmdCheckAllButton, kCmdUncheckAllButton, kCmdPowerOff, kCmdPowerOn,
                   kCmdGroupSettingButton}) {
        w.Button(id)->setEnabled(false);
    }
    w.SourceSelector()->setEnabled(false);
    // Shows the new (still empty) group: title, colours, list.
    w.ShowGroup();
}

// --- delete ------------------------------------------------------------------------------------

void GroupCommands::DeleteGroup() {
    const int row = ctx_.window.GroupList()->currentRow();
    if (row < 0 || ctx_.window.SelectedGroupName().empty())
        return;
    const QString name = ctx_.window.GroupList()->item(row)->text();
    if (!AskYesNo(&ctx_.window, QStringLiteral("Are you going to delete Group %1").arg(name)))
        return;
    DeleteGroupNamed(row);
}

void GroupCommands::DeleteGroupNamed(int row) {
    CVistrelDlg& w = ctx_.window;
    CGrpList* list = w.GroupList();
    if (row < 0 || row >= list->count())
        return;
    const std::string name = list->item(row)->text().toStdString();
    {
        auto guard = w.console().table.Lock();
        for (const Info& record : guard.Records()) {
            if (record.groupName == name)
                SendGroupRecord(record.ip, std::string(), record.projectorName);
        }
    }
    std::vector<std::string>& names = w.GroupNames();
    const auto known = std::find(names.begin(), names.end(), name);
    if (known != names.end()) {
        names.erase(known);
        ctx_.store.DeleteGroup(name);
    }
    w.Model()->Clear();
    delete list->takeItem(row);

    if (list->count() > 0) {
        SetGroupCommandsEnabled(true, list->count() >= 2);
        list->setCurrentRow(std::min(row, list->count() - 1));
        list->viewport()->update();
        w.ShowGroup();
    } else {
        SetGroupCommandsEnabled(false, false);
        w.Action(kCmdMoveToGroup)->setEnabled(false);
        w.ShowAllProjectors();
    }
}

// --- rename ------------------------------------------------------------------------------------

void GroupCommands::RenameGroup() {
    const int row = ctx_.window.GroupList()->currentRow();
    if (row < 0 || ctx_.window.SelectedGroupName().empty())
        return;
    // The store may hold group keys the list does not show ("All Projectors", one added
    // by another program meanwhile); a rename onto one of them is refused too.
    QStringList known = GroupEntries();
    for (const std::string& key : ctx_.store.SubKeyNames({"Group"}))
        known << QString::fromStdString(key);
    CRenGrpDlg dialog(known, &ctx_.window);
    dialog.currentName = ctx_.window.GroupList()->item(row)->text();
    if (dialog.exec() != QDialog::Accepted)
        return;
    RenameGroupTo(row, dialog.newName.toStdString());
}

void GroupCommands::RenameGroupTo(int row, const std::string& newName) {
    CVistrelDlg& w = ctx_.window;
    CGrpList* list = w.GroupList();
    if (newName.empty() || row < 0 || row >= list->count())
        return;
    const std::string oldName = list->item(row)->text().toStdString();
    // Looked at again now: another program may have added the key while the dialog was open.
    for (const std::string& key : ctx_.store.SubKeyNames({"Group"})) {
        if (KeyNamesEqual(key, newName) && !KeyNamesEqual(key, oldName)) {
            ShowInformation(&w, DuplicateGroupMessage(QString::fromStdString(newName)));
            return;
        }
    }
    delete list->takeItem(row);
    list->addItem(QString::fromStdString(newName));
    list->setCurrentRow(list->count() - 1);
    list->setFocus();

    // The name lives on in the store too, with the group's settings and tasks, so a restart
    // shows the new name rather than the old one.
    std::vector<std::string>& names = w.GroupNames();
    const auto known = std::find(names.begin(), names.end(), oldName);
    if (known != names.end())
        names.erase(known);
    names.push_back(newName);
    if (!ctx_.store.RenameGroup(oldName, newName))
        ctx_.store.OpenGroupKey(newName, kGroupKeyRoot, 0);

    {
        auto guard = w.console().table.Lock();
        for (Info& record : guard.Records()) {
            if (record.groupName != oldName)
                continue;
            record.groupName = newName;
            SendGroupRecord(record.ip, newName, record.projectorName);
        }
    }
    w.ShowGroup();
}

// --- move and go to ----------------------------------------------------------------------------

void GroupCommands::MoveToGroup() {
    CVistrelDlg& w = ctx_.window;
    const std::vector<int> rows = w.SelectedSourceRows();
    if (rows.empty() || rows.size() > kMaxMoveRows || w.GroupList()->count() == 0) {
        return;
    }
    // The MACs are read now: the list may refresh while the dialog is open.
    std::vector<std::string> macs;
    for (int row : rows)
        macs.push_back(w.Model()->Cell(row, ProjectorListModel::kMac));

    FocusKeeper focus;
    CGrpActDlg dialog(GroupEntries(), QString::fromStdString(w.SelectedGroupName()),
                      !w.ShowingAllProjectors(), &w);
    dialog.actionLabel = QString::fromLatin1(CGrpActDlg::kMoveTo);
    if (dialog.exec() != QDialog::Accepted)
        return;
    MoveProjectorsTo(macs, dialog.chosenName.toStdString(), dialog.chosenIndex);
}

void GroupCommands::MoveProjectorsTo(const std::vector<std::string>& macs, const std::string& group,
                                     int groupRow) {
    CVistrelDlg& w = ctx_.window;
    if (group.empty() || groupRow < 0 || groupRow >= w.GroupList()->count())
        return;
    {
        auto guard = w.console().table.Lock();
        for (const std::string& mac : macs) {
            Info record;
            if (guard.Lookup(mac, record))
                SendGroupRecord(record.ip, group, record.projectorName);
        }
    }
    w.GroupList()->setCurrentRow(groupRow);
    w.ShowGroup();
}

void GroupCommands::GoToGroup() {
    CVistrelDlg& w = ctx_.window;
    if (w.GroupList()->count() == 0)
        return;
    FocusKeeper focus;
    CGrpActDlg dialog(GroupEntries(), QString::fromStdString(w.SelectedGroupName()),
                      !w.ShowingAllProjectors(), &w);
    dialog.actionLabel = QString::fromLatin1(CGrpActDlg::kGoTo);
    if (dialog.exec() != QDialog::Accepted || dialog.chosenIndex < 0)
        return;
    w.GroupList()->setCurrentRow(dialog.chosenIndex);
    w.ShowGroup();
}

// --- interval ----------------------------------------------------------------------------------

void GroupCommands::SetInterval() {
    CRefreshDlg dialog(ctx_.window.RefreshInterval(), &ctx_.window);
    if (dialog.exec() != QDialog::Accepted)
        return;
    ApplyInterval(dialog.seconds);
}

bool GroupCommands::ApplyInterval(uint32_t seconds) {
    const uint32_t intervalMs = std::min(seconds, CRefreshDlg::kSecondsLimit) * 1000;
    if (!ctx_.window.RestartDiscoveryTimer(intervalMs))
        return false;
    ctx_.window.backend().SetAppDword(kIntervalValue, intervalMs);
    return true;
}

}  // namespace vistrel
