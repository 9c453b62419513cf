// The window's fleet-health view (counts under the list, the filter they set, the marks on rows,
// the report and the thresholds) and its PJLink menu commands.
#include <QInputDialog>
#include <QLineEdit>
#include <QTableView>

#include "app/fleet_report_dlg.h"
#include "app/health_thresholds_dlg.h"
#include "app/projector_list_model.h"
#include "app/projector_list_proxy.h"
#include "app/vistrel_dlg.h"
#include "controls/icons.h"
#include "controls/message_box.h"
#include "protocol/text_encoding.h"

namespace vistrel {

namespace {

const char* const kHealthPredicate = "health";

// Marks that read on `back`: dark on a light list, light on a dark one.
ProjectorListModel::HealthLook HealthLookOn(const QColor& back, const QColor& text) {
    const bool light = back.lightnessF() >= 0.5;
    ProjectorListModel::HealthLook look;
    look.warning = light ? QColor(0x9c, 0x57, 0x00) : QColor(0xff, 0xb7, 0x4d);
    look.critical = light ? QColor(0xb3, 0x00, 0x1b) : QColor(0xff, 0x6b, 0x6b);
    look.quiet = QColor((text.red() + back.red()) / 2, (text.green() + back.green()) / 2,
                        (text.blue() + back.blue()) / 2);
    look.notAnswering = AppIcon(IconId::kNotAnswering);
    return look;
}

bool MatchesHealthFilter(const ProjectorListModel& model, int row, HealthFilter filter) {
    const ProjectorListModel::RowHealth& health = model.HealthOf(row);
    const std::string& power = model.Cell(row, ProjectorListModel::kPower);
    switch (filter) {
        case HealthFilter::kAll:
            return true;
        case HealthFilter::kOn:
            return !health.notAnswering && power == "ON";
        case HealthFilter::kStandby:
            return !health.notAnswering && power == "standby";
        case HealthFilter::kOff:
            return !health.notAnswering && power == "OFF";
        case HealthFilter::kNotAnswering:
            return health.notAnswering;
        case HealthFilter::kLampWarning:
            return health.lampWarning;
        case HealthFilter::kLampCritical:
            return health.lampCritical;
    }
    return true;
}

}  // namespace

void CVistrelDlg::AddPjlinkProjectors() {
    bool ok = false;
    const QString text = QInputDialog::getText(
        this, QStringLiteral("Add PJLink Projector"),
        QStringLiteral("Addresses of PJLink projectors (separated by spaces):"), QLineEdit::Normal,
        {}, &ok);
    if (!ok)
        return;
    QStringList refused;
    for (const QString& address : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (!backend_.AddPjlinkProjector(address.toStdString(), {}))
            refused << address;
    }
    if (!refused.isEmpty()) {
        ShowInformation(this, QStringLiteral("Not added (not a projector address, or the store "
                                             "could not be written): %1")
                                  .arg(refused.join(QStringLiteral(", "))));
    }
}

void CVistrelDlg::SetPjlinkPassword() {
    bool ok = false;
    const QString password =
        QInputDialog::getText(this, QStringLiteral("PJLink Password"),
                              QStringLiteral("Password for every PJLink projector (empty: none):"),
                              QLineEdit::Password, {}, &ok);
    if (!ok)
        return;
    std::string error;
    if (!backend_.SetPjlinkPassword({}, password.toStdString(), &error))
        ShowInformation(this, QString::fromStdString(error));
}

void CVistrelDlg::ApplyHealthLook() {
    const QPalette list = projectorList_->palette();
    ProjectorListModel::HealthLook look =
        HealthLookOn(list.color(QPalette::Base), list.color(QPalette::Text));
    // The counts sit on the window's own background, which a theme may make dark.
    const ProjectorListModel::HealthLook bar =
        HealthLookOn(palette().color(QPalette::Window), palette().color(QPalette::WindowText));
    statusBar_->SetMarkColours(bar.warning, bar.critical, bar.quiet);
    model_->SetHealthLook(std::move(look));
}

void CVistrelDlg::SetHealthFilter(HealthFilter filter) {
    if (filter == healthFilter_)
        return;
    healthFilter_ = filter;
    if (filter == HealthFilter::kAll) {
        proxy_->RemovePredicate(kHealthPredicate);
    } else {
        proxy_->SetPredicate(kHealthPredicate, [filter](const ProjectorListModel& model, int row) {
            return MatchesHealthFilter(model, row, filter);
        });
    }
    statusBar_->SetActive(filter);
}

void CVistrelDlg::UpdateHealth() {
    const int rows = model_->RowCount();
    std::vector<ProjectorListModel::RowHealth> marks(static_cast<size_t>(rows));
    const int64_t now = console_.clock.Now();
    for (const ProjectorHealth& h : health_->Snapshot()) {
        const int row = model_->FindRow(h.mac);
        if (row < 0)
            continue;
        ProjectorListModel::RowHealth& mark = marks[static_cast<size_t>(row)];
        mark.notAnswering = h.notAnswering;
        mark.lampWarning = h.lampWarning;
        mark.lampCritical = h.lampCritical;
        if (h.notAnswering && h.notAnsweringSince)
            mark.since = LocalClockText(*h.notAnsweringSince, now);
    }
    model_->SetRowHealth(marks);

    // The counts are of the rows the list holds (this group's in group mode).
    FleetCounts counts;
    counts.listed = static_cast<size_t>(rows);
    for (int row = 0; row < rows; ++row) {
        const ProjectorListModel::RowHealth& mark = marks[static_cast<size_t>(row)];
        counts.lampWarning += mark.lampWarning;
        counts.lampCritical += mark.lampCritical;
        if (mark.notAnswering) {
            ++counts.notAnswering;
            continue;
        }
        const std::string& power = model_->Cell(row, ProjectorListModel::kPower);
        counts.on += power == "ON";
        counts.standby += power == "standby";
        counts.off += power == "OFF";
    }
    statusBar_->SetCounts(counts, thresholds_);
}

void CVistrelDlg::ApplyThresholds(const HealthThresholds& thresholds) {
    thresholds_ = thresholds;
    health_->SetThresholds(thresholds);
    UpdateHealth();
}

HealthReport CVistrelDlg::CurrentHealthReport() {
    std::vector<HealthRow> rows;
    {
        auto guard = console_.table.Lock();
        for (ProjectorHealth& h : health_->Snapshot()) {
            HealthRow row;
            Info record;
            if (guard.Lookup(h.mac, record)) {
                row.name = ProjectorTextAsUtf8(record.projectorName);
                row.group = ProjectorTextAsUtf8(record.groupName);
            }
            row.health = std::move(h);
            rows.push_back(std::move(row));
        }
    }
    return MakeHealthReport(std::move(rows), thresholds_, console_.clock.Now());
}

void CVistrelDlg::OpenFleetReport() {
    FleetReportDlg dialog(CurrentHealthReport(), this);
    dialog.exec();
}

void CVistrelDlg::OpenHealthThresholds() {
    HealthThresholdsDlg dialog(thresholds_, this);
    dialog.SetSaver([this](const HealthThresholds& t) { return backend_.SaveHealthThresholds(t); });
    if (dialog.exec() == QDialog::Accepted)
        ApplyThresholds(dialog.Values());
}

}  // namespace vistrel
