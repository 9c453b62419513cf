// Tools > Health Thresholds...: when a lamp warns, when it is critical and how long a
// projector may stay silent before it counts as not answering.
#pragma once

#include <QDialog>
#include <functional>

#include "health/health_thresholds.h"

class QLabel;
class QSpinBox;

namespace vistrel {

class HealthThresholdsDlg : public QDialog {
    Q_OBJECT
  public:
    // Stores the thresholds; false when they could not be stored.
    using Saver = std::function<bool(const HealthThresholds&)>;

    HealthThresholdsDlg(const HealthThresholds& current, QWidget* parent = nullptr);
    void SetSaver(Saver saver) { saver_ = std::move(saver); }
    HealthThresholds Values() const;

    QSpinBox* WarningHours() const { return warning_; }
    QSpinBox* CriticalHours() const { return critical_; }
    QSpinBox* NotAnsweringSeconds() const { return silence_; }
    QLabel* Problem() const { return problem_; }

    // Keeps the dialog open, saying what is wrong, while the values cannot be used or stored.
    void accept() override;

  private:
    QSpinBox* warning_;
    QSpinBox* critical_;
    QSpinBox* silence_;
    QLabel* problem_;
    Saver saver_;
};

}  // namespace vistrel
