#include "app/health_thresholds_dlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

namespace vistrel {

namespace {

QSpinBox* Box(QWidget* parent, const char* name, uint32_t low, uint32_t high, uint32_t value,
              const QString& suffix) {
    auto* box = new QSpinBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setRange(static_cast<int>(low), static_cast<int>(high));
    box->setValue(static_cast<int>(value));
    box->setSuffix(suffix);
    box->setGroupSeparatorShown(true);
    return box;
}

}  // namespace

HealthThresholdsDlg::HealthThresholdsDlg(const HealthThresholds& current, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("healthThresholdsDialog"));
    setWindowTitle(QStringLiteral("Health Thresholds"));
    const QString hours = QStringLiteral(" h");
    warning_ = Box(this, "lampWarning", kMinLampThreshold, kMaxLampThreshold,
                   current.lampWarningHours, hours);
    critical_ = Box(this, "lampCritical", kMinLampThreshold, kMaxLampThreshold,
                    current.lampCriticalHours, hours);
    silence_ = Box(this, "notAnswering", kMinNotAnsweringSeconds, kMaxNotAnsweringSeconds,
                   current.notAnsweringSeconds, QStringLiteral(" s"));
    problem_ = new QLabel(this);
    problem_->setObjectName(QStringLiteral("problem"));
    problem_->setWordWrap(true);
    problem_->hide();

    auto* intro = new QLabel(
        QStringLiteral("A projector needs attention when its lamp reaches these hours or when "
                       "it has not answered for this long."),
        this);
    intro->setWordWrap(true);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Lamp &warning at:"), warning_);
    form->addRow(QStringLiteral("Lamp &critical at:"), critical_);
    form->addRow(QStringLiteral("&Not answering after:"), silence_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addLayout(form);
    layout->addWidget(problem_);
    layout->addWidget(buttons);
    setMinimumWidth(380);
}

HealthThresholds HealthThresholdsDlg::Values() const {
    HealthThresholds t;
    t.lampWarningHours = static_cast<uint32_t>(warning_->value());
    t.lampCriticalHours = static_cast<uint32_t>(critical_->value());
    t.notAnsweringSeconds = static_cast<uint32_t>(silence_->value());
    return t;
}

void HealthThresholdsDlg::accept() {
    const HealthThresholds values = Values();
    std::string problem = CheckHealthThresholds(values);
    if (problem.empty() && saver_ && !saver_(values))
        problem = "The thresholds could not be stored; they stay as they were.";
    if (!problem.empty()) {
        problem_->setText(QString::fromStdString(problem));
        problem_->show();
        return;
    }
    QDialog::accept();
}

}  // namespace vistrel
