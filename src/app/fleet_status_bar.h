// The line under the projector list that answers "what needs me?": how many projectors are
// listed, on, standby, off, not answering, and how many lamps are past each threshold. Each
// count is a link that narrows the list to those projectors; clicking the narrowed count
// again shows every row.
#pragma once

#include <QColor>
#include <QWidget>
#include <array>

#include "health/fleet_health.h"

class QLabel;

namespace vistrel {

enum class HealthFilter { kAll, kOn, kStandby, kOff, kNotAnswering, kLampWarning, kLampCritical };
inline constexpr int kHealthFilterCount = 7;

class FleetStatusBar : public QWidget {
    Q_OBJECT
  public:
    explicit FleetStatusBar(QWidget* parent = nullptr);

    void SetCounts(const FleetCounts& counts, const HealthThresholds& thresholds);
    // Marks the count that narrows the list now (kAll: none).
    void SetActive(HealthFilter filter);
    HealthFilter Active() const { return active_; }
    const FleetCounts& Counts() const { return counts_; }
    // Colours of the two lamp thresholds and of silence, beside their counts.
    void SetMarkColours(QColor warning, QColor critical, QColor quiet);

    // As a click on that count's link.
    void Activate(HealthFilter filter) { emit filterRequested(filter); }
    QLabel* Label(HealthFilter filter) const { return labels_[static_cast<size_t>(filter)]; }
    // All the counts as one line of plain text (tests, accessibility).
    QString Text() const;

  signals:
    void filterRequested(HealthFilter filter);

  protected:
    void changeEvent(QEvent* event) override;

  private:
    void Render();

    std::array<QLabel*, kHealthFilterCount> labels_{};
    FleetCounts counts_;
    HealthThresholds thresholds_;
    HealthFilter active_ = HealthFilter::kAll;
    QColor warning_, critical_, quiet_;
};

}  // namespace vistrel
