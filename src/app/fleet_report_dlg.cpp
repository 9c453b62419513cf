#include "app/fleet_report_dlg.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QSaveFile>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace vistrel {

namespace {

// Dark marks on a light background, light ones on a dark background.
QColor WarningOn(const QColor& back) {
    return back.lightnessF() >= 0.5 ? QColor(0xc7, 0x7c, 0x02) : QColor(0xff, 0xb7, 0x4d);
}
QColor CriticalOn(const QColor& back) {
    return back.lightnessF() >= 0.5 ? QColor(0xc6, 0x28, 0x28) : QColor(0xff, 0x6b, 0x6b);
}

QTableWidget* Table(QWidget* parent, const char* name, const QStringList& headers) {
    auto* table = new QTableWidget(0, static_cast<int>(headers.size()), parent);
    table->setObjectName(QLatin1String(name));
    table->setHorizontalHeaderLabels(headers);
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->horizontalHeader()->setStretchLastSection(true);
    table->setWordWrap(false);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
    return table;
}

void AddRow(QTableWidget* table, const QStringList& cells) {
    const int row = table->rowCount();
    table->insertRow(row);
    for (int c = 0; c < cells.size(); ++c) {
        auto* item = new QTableWidgetItem(cells[c]);
        table->setItem(row, c, item);
    }
}

void FillCounts(QTableWidget* table, const std::vector<std::pair<std::string, size_t>>& counts) {
    for (const auto& [value, count] : counts)
        AddRow(table, {QString::fromStdString(value), QString::number(count)});
    table->resizeColumnToContents(0);
}

QGroupBox* Boxed(const QString& title, QWidget* inside, QWidget* parent) {
    auto* box = new QGroupBox(title, parent);
    auto* layout = new QVBoxLayout(box);
    layout->addWidget(inside);
    return box;
}

}  // namespace

// --- chart ------------------------------------------------------------------------------------

LampHoursChart::LampHoursChart(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("lampHoursChart"));
    setAccessibleName(QStringLiteral("Lamp hours of the fleet"));
    setMinimumHeight(180);
}

void LampHoursChart::SetFleet(const std::vector<HealthRow>& rows,
                              const HealthThresholds& thresholds) {
    thresholds_ = thresholds;
    withoutHours_ = 0;
    // Enough bands to show the critical threshold and one band past it, and every lamp.
    uint32_t top = thresholds.lampCriticalHours + kBandHours;
    for (const HealthRow& row : rows) {
        if (row.health.lampHours)
            top = std::max(top, *row.health.lampHours + 1);
    }
    bands_.assign((top + kBandHours - 1) / kBandHours, 0);
    for (const HealthRow& row : rows) {
        if (row.health.lampHours)
            ++bands_[*row.health.lampHours / kBandHours];
        else
            ++withoutHours_;
    }
    setToolTip(QStringLiteral("Projectors per %1 lamp hours").arg(kBandHours));
    update();
}

void LampHoursChart::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, false);
    const QPalette pal = palette();
    const QColor back = pal.color(QPalette::Base);
    const QColor text = pal.color(QPalette::Text);
    painter.fillRect(rect(), back);
    const QFontMetrics fm = painter.fontMetrics();
    const size_t most = bands_.empty() ? 0 : *std::max_element(bands_.begin(), bands_.end());

    const int left = fm.horizontalAdvance(QString::number(std::max<size_t>(most, 10))) + 12;
    const int bottom = height() - fm.height() * 2 - 6;
    const int top = fm.height() * 2 + 6;  // the title, then the tallest bar's count
    const int right = width() - 10;
    const QRect plot(QPoint(left, top), QPoint(right, bottom));
    painter.setPen(text);
    painter.drawText(QRect(0, 0, width(), fm.height() + 2), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral(" Projectors per %1 lamp hours").arg(kBandHours));
    if (bands_.empty() || plot.width() < 20 || plot.height() < 20)
        return;

    painter.drawLine(plot.bottomLeft(), plot.bottomRight());
    painter.drawLine(plot.bottomLeft(), plot.topLeft());
    const size_t scale = std::max<size_t>(most, 1);
    painter.drawText(QRect(0, plot.top() - fm.height() / 2, left - 4, fm.height()),
                     Qt::AlignRight | Qt::AlignVCenter, QString::number(scale));
    painter.drawText(QRect(0, plot.bottom() - fm.height() / 2, left - 4, fm.height()),
                     Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("0"));

    const double step = static_cast<double>(plot.width()) / static_cast<double>(bands_.size());
    const QColor normal = pal.color(QPalette::Highlight);
    const QColor warning = WarningOn(back);
    const QColor critical = CriticalOn(back);
    for (size_t i = 0; i < bands_.size(); ++i) {
        const uint32_t from = static_cast<uint32_t>(i) * kBandHours;
        // A band holding the threshold takes its colour: some of its lamps are past it.
        const uint32_t to = from + kBandHours - 1;
        const QColor fill = to >= thresholds_.lampCriticalHours  ? critical
                            : to >= thresholds_.lampWarningHours ? warning
                                                                 : normal;
        const int x0 = plot.left() + static_cast<int>(step * static_cast<double>(i)) + 1;
        const int x1 = plot.left() + static_cast<int>(step * static_cast<double>(i + 1)) - 1;
        const int h = static_cast<int>(static_cast<double>(plot.height()) *
                                       static_cast<double>(bands_[i]) / static_cast<double>(scale));
        if (bands_[i] > 0) {
            painter.fillRect(
                QRect(QPoint(x0, plot.bottom() - std::max(h, 1)), QPoint(x1, plot.bottom() - 1)),
                fill);
            painter.setPen(text);
            const int labelTop = std::max(plot.bottom() - h - fm.height() - 1, 0);
            painter.drawText(QRect(x0 - 8, labelTop, x1 - x0 + 16, fm.height()), Qt::AlignCenter,
                             QString::number(bands_[i]));
        }
        // Hours under every other band, or every band when there is room.
        const int every = step >= fm.horizontalAdvance(QStringLiteral("10000")) + 4 ? 1 : 2;
        if (i % static_cast<size_t>(every) == 0) {
            painter.setPen(text);
            painter.drawText(QRect(x0 - 20, plot.bottom() + 2, 40, fm.height()),
                             Qt::AlignHCenter | Qt::AlignTop, QString::number(from));
        }
    }
    // The thresholds, as dashed lines at their hours.
    const auto mark = [&](uint32_t hours, const QColor& colour) {
        const int x = plot.left() + static_cast<int>(step * static_cast<double>(hours) /
                                                     static_cast<double>(kBandHours));
        QPen pen(colour, 2, Qt::DashLine);
        painter.setPen(pen);
        painter.drawLine(x, plot.top(), x, plot.bottom());
    };
    mark(thresholds_.lampWarningHours, warning);
    mark(thresholds_.lampCriticalHours, critical);
    painter.setPen(text);
    QString legend = QStringLiteral("lamp hours; dashed: warning at %1 h, critical at %2 h")
                         .arg(thresholds_.lampWarningHours)
                         .arg(thresholds_.lampCriticalHours);
    if (withoutHours_ > 0) {
        legend += QStringLiteral("; %1 without lamp hours (standby or not polled yet)")
                      .arg(withoutHours_);
    }
    painter.drawText(QRect(left, plot.bottom() + fm.height() + 4, plot.width(), fm.height()),
                     Qt::AlignLeft | Qt::AlignVCenter, legend);
}

// --- dialog -----------------------------------------------------------------------------------

FleetReportDlg::FleetReportDlg(HealthReport report, QWidget* parent)
    : QDialog(parent), report_(std::move(report)) {
    setObjectName(QStringLiteral("fleetReportDialog"));
    setWindowTitle(QStringLiteral("Fleet Report"));

    auto* summary =
        new QLabel(QString::fromStdString(SummaryLine(report_.counts, report_.thresholds)), this);
    summary->setObjectName(QStringLiteral("summary"));
    summary->setWordWrap(true);

    byModel_ = Table(this, "byModel", {QStringLiteral("Model"), QStringLiteral("Projectors")});
    FillCounts(byModel_, CountByModel(report_.rows));
    byFirmware_ =
        Table(this, "byFirmware", {QStringLiteral("Firmware"), QStringLiteral("Projectors")});
    FillCounts(byFirmware_, CountByFirmware(report_.rows));
    for (QTableWidget* table : {byModel_, byFirmware_})
        table->setMinimumHeight(130);

    chart_ = new LampHoursChart(this);
    chart_->SetFleet(report_.rows, report_.thresholds);

    attention_ = Table(this, "attention",
                       {QStringLiteral("Name"), QStringLiteral("IP"), QStringLiteral("MAC"),
                        QStringLiteral("State"), QStringLiteral("What")});
    for (const HealthRow* row : NeedingAttention(report_.rows)) {
        AddRow(attention_,
               {QString::fromStdString(row->name), QString::fromStdString(row->health.ip),
                QString::fromStdString(row->health.mac),
                QString::fromLatin1(HealthStateName(row->health.state).data()),
                QString::fromStdString(AttentionText(*row, report_.now))});
    }
    for (int c = 0; c < 4; ++c)
        attention_->resizeColumnToContents(c);
    attention_->setMinimumHeight(120);

    save_ = new QPushButton(QStringLiteral("&Save as CSV..."), this);
    save_->setObjectName(QStringLiteral("saveCsv"));
    connect(save_, &QPushButton::clicked, this, &FleetReportDlg::AskAndSave);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->addButton(save_, QDialogButtonBox::ActionRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* mix = new QHBoxLayout;
    mix->addWidget(Boxed(QStringLiteral("By model"), byModel_, this));
    mix->addWidget(Boxed(QStringLiteral("By firmware"), byFirmware_, this));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(summary);
    layout->addLayout(mix, 2);
    layout->addWidget(Boxed(QStringLiteral("Lamp hours"), chart_, this), 3);
    layout->addWidget(Boxed(QStringLiteral("Needing attention (%1)").arg(attention_->rowCount()),
                            attention_, this),
                      3);
    layout->addWidget(buttons);
    resize(760, 720);
}

bool FleetReportDlg::SaveCsv(const QString& path, QString* error) const {
    // Written beside and renamed into place: a failed save leaves an older file whole.
    QSaveFile file(path);
    const std::string csv = FleetReportCsv(report_);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(csv.data(), static_cast<qint64>(csv.size())) !=
            static_cast<qint64>(csv.size()) ||
        !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

void FleetReportDlg::AskAndSave() {
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Save Fleet Report"), QStringLiteral("fleet-report.csv"),
        QStringLiteral("CSV files (*.csv);;All files (*)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!SaveCsv(path, &error)) {
        QMessageBox::warning(
            this, windowTitle(),
            QStringLiteral("The report could not be saved to %1: %2").arg(path, error));
    }
}

}  // namespace vistrel
