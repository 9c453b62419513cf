#include "app/projector_commands.h"

#include <QAbstractItemView>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QEvent>
#include <QItemSelectionModel>
#include <QMenu>
#include <QPointer>
#include <QTableView>
#include <algorithm>

#include "controls/message_box.h"
#include "app/projector_list_model.h"
#include "app/vistrel_dlg.h"
#include "controls/grp_list.h"
#include "controls/my_button.h"
#include "pjlink/mixed_bulk.h"
#include "protocol/codec.h"
#include "protocol/option_tables.h"
#include "protocol/request_ring.h"
#include "store/reg_store.h"

namespace vistrel {

namespace {

// Keeps a widget disabled whatever else enables it, while its command is unavailable.
class KeepDisabled : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::EnabledChange) {
            auto* widget = static_cast<QWidget*>(watched);
            if (widget->isEnabled())
                widget->setEnabled(false);
        }
        return QObject::eventFilter(watched, event);
    }
};

}  // namespace

ProjectorCommands::ProjectorCommands(CommandContext context)
    : QObject(&context.window), ctx_(context) {
    setObjectName(QStringLiteral("projectorCommands"));
    unavailable_ = new QActionGroup(this);
    unavailable_->setExclusionPolicy(QActionGroup::ExclusionPolicy::None);
    unavailable_->setEnabled(false);
    Connect();
    UpdateAvailability();
}

ProjectorCommands::~ProjectorCommands() = default;

void ProjectorCommands::Connect() {
    CVistrelDlg& w = ctx_.window;
    connect(w.Button(kCmdPowerOn), &CMyButton::clicked, this, &ProjectorCommands::PowerOn);
    connect(w.Button(kCmdPowerOff), &CMyButton::clicked, this, &ProjectorCommands::PowerOff);
    // Only the operator's choice sends; filling or resetting the selector does not.
    connect(w.SourceSelector(), &QComboBox::activated, this, &ProjectorCommands::ChooseSource);
    connect(w.Button(kCmdCheckAllButton), &CMyButton::clicked, this, &ProjectorCommands::CheckAll);
    connect(w.Action(kCmdCheckAll), &QAction::triggered, this, &ProjectorCommands::CheckAll);
    connect(w.Button(kCmdUncheckAllButton), &CMyButton::clicked, this,
            &ProjectorCommands::UncheckAll);
    connect(w.Action(kCmdUncheckAll), &QAction::triggered, this, &ProjectorCommands::UncheckAll);
    connect(w.Button(kCmdRefreshAll), &CMyButton::clicked, this, &ProjectorCommands::RefreshAll);

    connect(w.Button(kCmdGroupSettingButton), &CMyButton::clicked, this,
            &ProjectorCommands::OpenGroupSettings);
    connect(w.Action(kCmdSetting), &QAction::triggered, this,
            &ProjectorCommands::OpenGroupSettings);
    connect(&w, &CVistrelDlg::groupActivated, this, [this](int row) {
        if (row < 0)
            return;
        OpenGroupSettings();
        ctx_.window.GroupList()->setFocus();
        ctx_.window.GroupList()->viewport()->update();
    });
    connect(w.Action(kCmdProperty), &QAction::triggered, this,
            &ProjectorCommands::OpenPropertyOfSelection);
    connect(&w, &CVistrelDlg::projectorActivated, this, &ProjectorCommands::OpenProjectorSettings);

    QTableView* view = w.ProjectorView();
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view, &QWidget::customContextMenuRequested, this, &ProjectorCommands::ShowContextMenu);
}

void ProjectorCommands::SetGroupSettingsRunner(GroupSettingsRunner runner) {
    groupSettings_ = std::move(runner);
    UpdateAvailability();
}

void ProjectorCommands::SetProjectorSettingsRunner(ProjectorSettingsRunner runner) {
    projectorSettings_ = std::move(runner);
    UpdateAvailability();
}

void ProjectorCommands::UpdateAvailability() {
    CVistrelDlg& w = ctx_.window;
    const auto place = [this](QAction* action, bool available, bool enabledByRules) {
        if (!available) {
            unavailable_->addAction(action);
            return;
        }
        if (!unavailable_->actions().contains(action))
            return;
        unavailable_->removeAction(action);
        // Leaving the group does not re-evaluate the action; apply the window's rule now.
        action->setEnabled(!enabledByRules);
        action->setEnabled(enabledByRules);
    };
    place(w.Action(kCmdSetting), GroupSettingsAvailable(), w.Model()->CheckedCount() > 0);
    place(w.Action(kCmdProperty), ProjectorSettingsAvailable(), !SelectedRows().empty());

    CMyButton* button = w.Button(kCmdGroupSettingButton);
    auto* keeper = button->findChild<KeepDisabled*>(QString(), Qt::FindDirectChildrenOnly);
    if (!GroupSettingsAvailable() && !keeper) {
        keeper = new KeepDisabled(button);
        button->installEventFilter(keeper);
        button->setEnabled(false);
    } else if (GroupSettingsAvailable() && keeper) {
        button->removeEventFilter(keeper);
        delete keeper;
        button->setEnabled(w.Model()->CheckedCount() > 0);
    }
}

// --- target set and batches ----------------------------------------------------------------

size_t ProjectorCommands::CollectTickedRows() {
    Console& console = ctx_.window.console();
    const ProjectorListModel* model = ctx_.window.Model();
    console.targetMacs.clear();
    console.targetIps.clear();
    console.batch.clear();
    for (int row = 0; row < model->RowCount(); ++row) {
        if (!model->IsChecked(row))
            continue;
        const std::string& ip = model->Cell(row, ProjectorListModel::kIp);
        console.targetMacs.push_back(model->Cell(row, ProjectorListModel::kMac));
        console.targetIps.push_back(ip);
        MsgCmd entry;
        entry.ip = ip;
        console.batch.push_back(std::move(entry));
    }
    return console.batch.size();
}

void ProjectorCommands::SendToTicked(const std::string& body) {
    if (CollectTickedRows() == 0)
        return;
    SendPjlinkPart(body);
    if (ctx_.window.console().batch.empty())
        return;
    // A projector that carried out the command is asked for its new state at the next
    // polling pass, so the list shows it within seconds rather than after 15.
    Console& console = ctx_.window.console();
    ctx_.ring.SendBatch(body, {}, [&console](const MsgCmd& entry) {
        if (BeginsWithOk(entry.reply))
            console.pollSoon.Add(entry.ip);
    });
}

void ProjectorCommands::SendPjlinkPart(const std::string& body) {
    // PJLink rows get the same action in their own protocol and leave the HTTP batch; what
    // could not be done on them (a source they lack, a refused password) is said at the end.
    Console& console = ctx_.window.console();
    pjlink::Monitor* monitor = ctx_.window.backend().Pjlink();
    const auto action = pjlink::ActionForBody(body);
    if (monitor == nullptr || !action)
        return;
    std::vector<pjlink::BulkTarget> targets;
    bool any = false;
    for (size_t i = 0; i < console.targetMacs.size(); ++i) {
        targets.push_back({console.targetMacs[i], console.targetIps[i]});
        any = any || pjlink::IsPjlinkKey(console.targetMacs[i]);
    }
    if (!any)
        return;
    const auto others = pjlink::SendPjlinkPart(
        *monitor, targets, action->action, action->source,
        [window = QPointer<CVistrelDlg>(&ctx_.window)](std::vector<pjlink::CommandResult> results) {
            const std::string failures = pjlink::DescribeFailures(results);
            if (failures.empty())
                return;
            QMetaObject::invokeMethod(
                window.data(),
                [window, failures] {
                    if (window)
                        ShowInformation(window, QStringLiteral("PJLink projectors:\n%1")
                                                    .arg(QString::fromStdString(failures)));
                },
                Qt::QueuedConnection);
        });
    std::erase_if(console.batch, [&others](const MsgCmd& entry) {
        return std::none_of(others.begin(), others.end(),
                            [&entry](const pjlink::BulkTarget& t) { return t.ip == entry.ip; });
    });
}

void ProjectorCommands::PowerOn() {
    SendToTicked(BuildCommand(kPowerOnCode));
}

void ProjectorCommands::PowerOff() {
    SendToTicked(BuildCommand(kPowerOffCode));
}

void ProjectorCommands::ChooseSource(int index) {
    if (index < 0 || index >= RowCount(kSourceTable))
        return;
    SendToTicked(BuildCommand(CommandAt(kSourceTable, index)));
}

void ProjectorCommands::CheckAll() {
    // The rows the find text shows; with no find text, every row.
    ctx_.window.CheckShownRows();
}

void ProjectorCommands::UncheckAll() {
    ctx_.window.Model()->SetAllChecked(false);
}

void ProjectorCommands::RefreshAll() {
    CVistrelDlg& w = ctx_.window;
    Console& console = w.console();
    console.refreshNow.store(true);
    {
        auto guard = console.table.Lock();
        for (Info& record : guard.Records())
            record.freshness = 0;
        // Every row goes at once; the answers to the probe bring them back.
        w.RefreshProjectorList(w.ShowingAllProjectors(), guard);
    }
    w.backend().Broadcast();
}

// --- settings dialogs ------------------------------------------------------------------------

void ProjectorCommands::OpenGroupSettings() {
    if (CollectTickedRows() == 0 || !groupSettings_)
        return;
    CVistrelDlg& w = ctx_.window;
    {
        auto guard = w.console().table.Lock();
        w.PausePolling();
    }
    std::string groupName(kAllProjectorsGroup);
    if (!w.ShowingAllProjectors()) {
        const std::string selected = w.SelectedGroupName();
        if (!selected.empty())
            groupName = selected;
    }
    emit settingsDialogStarted();
    groupSettings_(groupName);
    // The dialog is gone: polling resumes, whatever way the dialog ended.
    w.ResumePolling();
    emit settingsDialogFinished();
}

std::vector<int> ProjectorCommands::SelectedRows() const {
    return ctx_.window.SelectedSourceRows();
}

void ProjectorCommands::OpenPropertyOfSelection() {
    const std::vector<int> rows = SelectedRows();
    if (rows.empty())
        return;
    OpenProjectorSettings(rows.front());
}

void ProjectorCommands::OpenProjectorSettings(int row) {
    CVistrelDlg& w = ctx_.window;
    const ProjectorListModel* model = w.Model();
    if (row < 0 || row >= model->RowCount())
        return;
    Console& console = w.console();
    console.targetIps = {model->Cell(row, ProjectorListModel::kIp)};
    console.targetMacs = {model->Cell(row, ProjectorListModel::kMac)};
    const std::vector<int> rows = SelectedRows();
    if (rows.size() != 1 || !projectorSettings_)
        return;
    {
        auto guard = console.table.Lock();
        w.PausePolling();
    }
    const int selected = rows.front();
    const std::string ip = model->Cell(selected, ProjectorListModel::kIp);
    const std::string group = model->Cell(selected, ProjectorListModel::kGroupName);
    const std::string name = model->Cell(selected, ProjectorListModel::kProjectorName);
    emit settingsDialogStarted();
    projectorSettings_(ip, group, name);
    w.ResumePolling();
    emit settingsDialogFinished();
}

// --- context menu ----------------------------------------------------------------------------

QMenu* ProjectorCommands::BuildContextMenu() {
    CVistrelDlg& w = ctx_.window;
    w.Action(kCmdProperty)->setEnabled(SelectedRows().size() == 1);
    auto* menu = new QMenu(&w);
    menu->setObjectName(QStringLiteral("projectorContextMenu"));
    for (QAction* action : w.ProjectorMenu()->actions()) {
        // The same actions: their state and command come along, and choosing one is the
        // ordinary menu command.
        menu->addAction(action);
        if (action->text().compare(QStringLiteral("&Property"), Qt::CaseInsensitive) == 0)
            break;
    }
    return menu;
}

void ProjectorCommands::ShowContextMenu(const QPoint& pos) {
    QWidget* hadFocus = QApplication::focusWidget();
    QMenu* menu = BuildContextMenu();
    menu->exec(ctx_.window.ProjectorView()->viewport()->mapToGlobal(pos));
    delete menu;
    if (hadFocus)
        hadFocus->setFocus();
}

}  // namespace vistrel
