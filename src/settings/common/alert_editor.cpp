#include "settings/common/alert_editor.h"

#include <QPushButton>

namespace vistrel {

AlertEditor::AlertEditor(QWidget* page, const char* overTemperatureLabel, int testId, int submitId,
                         Sender send)
    : send_(std::move(send)) {
    controls_.Build(page, overTemperatureLabel, testId, submitId);
    QObject::connect(controls_.submit, &QPushButton::clicked, page, [this] {
        const auto alert = controls_.Read(alert_);
        if (!alert)
            return;
        alert_ = *alert;
        send_(BuildAlertRecord(alert_));
    });
    QObject::connect(controls_.test, &QPushButton::clicked, page,
                     [this] { send_(std::string(kTestBody)); });
}

void AlertEditor::Show(const AlertSettings& alert) {
    alert_ = alert;
    controls_.Write(alert_);
}

void AlertEditor::SetEnabled(bool enabled) {
    for (QWidget* control : controls_.All())
        control->setEnabled(enabled);
}

}  // namespace vistrel
