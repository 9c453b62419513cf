// The controls both forms of the Alert page share: the mail addresses and subject, the four
// alert conditions and the SMTP account, laid out once and read into or written from the
// codec's AlertSettings through the alert settings' one definition (protocol/alert_fields.h).
#pragma once

#include <QWidget>
#include <optional>
#include <vector>

#include "protocol/codec.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace vistrel {

struct AlertControls {
    enum : int {
        kTo = 1073,
        kCc = 1074,
        kSubject = 1075,
        kFrom = 1076,
        kFanLock = 1080,
        kOverTemperature = 1081,
        kLampHours = 1082,
        kLampFail = 1083,
        kServer = 1077,
        kUser = 1078,
        kPassword = 1079,
    };

    QLineEdit* to = nullptr;
    QLineEdit* cc = nullptr;
    QLineEdit* subject = nullptr;
    QLineEdit* from = nullptr;
    QCheckBox* fanLock = nullptr;
    QCheckBox* overTemperature = nullptr;
    QCheckBox* lampHours = nullptr;
    QCheckBox* lampFail = nullptr;
    QLineEdit* server = nullptr;
    QLineEdit* user = nullptr;
    QLineEdit* password = nullptr;
    QPushButton* test = nullptr;
    QPushButton* submit = nullptr;

    // Builds the controls on `page`; the group form spells one caption differently and
    // numbers its two buttons differently.
    void Build(QWidget* page, const char* overTemperatureLabel, int testId, int submitId);
    // The controls as the record to send: a text left as `kept` showed it goes back with
    // its own bytes, a typed one in the projector's encoding. nullopt, after telling the
    // operator, when a character cannot be sent.
    std::optional<AlertSettings> Read(const AlertSettings& kept) const;
    void Write(const AlertSettings& alert);
    std::vector<QWidget*> All() const;

  private:
    QWidget* Control(int id) const;
};

}  // namespace vistrel
