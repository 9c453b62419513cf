// Tools > Fleet Report...: the mix of models and firmware versions (which projectors are
// behind shows at once), a bar chart of the fleet's lamp hours and the projectors that need
// attention, with "Save as CSV" for the same tables.
#pragma once

#include <QDialog>
#include <QWidget>
#include <optional>
#include <vector>

#include "health/health_report.h"

class QLabel;
class QPushButton;
class QTableWidget;

namespace vistrel {

// How many projectors' lamps fall into each band of hours, drawn with QPainter. The bands
// past each threshold take that threshold's colour, and both thresholds are marked.
class LampHoursChart : public QWidget {
  public:
    static constexpr uint32_t kBandHours = 500;

    explicit LampHoursChart(QWidget* parent = nullptr);
    void SetFleet(const std::vector<HealthRow>& rows, const HealthThresholds& thresholds);
    // Projectors per band, the first band starting at 0 h.
    const std::vector<size_t>& Bands() const { return bands_; }
    size_t WithoutHours() const { return withoutHours_; }
    QSize sizeHint() const override { return {560, 220}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::vector<size_t> bands_;
    size_t withoutHours_ = 0;
    HealthThresholds thresholds_;
};

class FleetReportDlg : public QDialog {
    Q_OBJECT
  public:
    explicit FleetReportDlg(HealthReport report, QWidget* parent = nullptr);

    QTableWidget* ByModel() const { return byModel_; }
    QTableWidget* ByFirmware() const { return byFirmware_; }
    QTableWidget* Attention() const { return attention_; }
    LampHoursChart* Chart() const { return chart_; }
    QPushButton* SaveButton() const { return save_; }
    // Writes the report's tables to `path`; false with `error` in words when it could not.
    bool SaveCsv(const QString& path, QString* error) const;

  private:
    void AskAndSave();

    HealthReport report_;
    QTableWidget* byModel_;
    QTableWidget* byFirmware_;
    QTableWidget* attention_;
    LampHoursChart* chart_;
    QPushButton* save_;
};

}  // namespace vistrel
