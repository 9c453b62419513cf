#include "settings/common/alert_form.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "protocol/alert_fields.h"
#include "protocol/wire_fields.h"
#include "settings/common/field_width.h"
#include "settings/common/settings_page.h"

namespace vistrel {

void AlertControls::Build(QWidget* page, const char* overTemperatureLabel, int testId,
                          int submitId) {
    auto named = [](auto* widget, int id) {
        widget->setObjectName(ControlName(id));
        return widget;
    };
    auto caption = [page](const char* text, int x, int y, int width = 80) {
        auto* label = new QLabel(QString::fromLatin1(text), page);
        label->setGeometry(x, y, width, 22);
    };
    // Labels come from the alert settings' one definition.
    auto labelOf = [](int id) { return std::string(AlertFieldByControl(id)->label); };
    auto edit = [&](int id, int x, int y) {
        caption(labelOf(id).c_str(), x, y);
        auto* line = named(new QLineEdit(page), id);
        line->setGeometry(x + 84, y, 150, 22);
        // Each text travels in a 32-byte field: what would not fit is refused as typed.
        LimitToProjectorField(line, kTextFieldWidth);
        return line;
    };
    auto check = [&](int id, int x, int y, const char* label = nullptr) {
        auto* box = named(
            new QCheckBox(QString::fromLatin1(label ? std::string(label) : labelOf(id)), page), id);
        box->setGeometry(x, y, 200, 22);
        return box;
    };

    auto* mailBox = new QGroupBox(QStringLiteral("Email:"), page);
    mailBox->setGeometry(8, 4, 492, 110);
    to = edit(kTo, 20, 26);
    cc = edit(kCc, 262, 26);
    subject = edit(kSubject, 20, 56);
    from = edit(kFrom, 262, 56);

    auto* alertBox = new QGroupBox(QStringLiteral("Alert:"), page);
    alertBox->setGeometry(8, 120, 492, 84);
    fanLock = check(kFanLock, 24, 142);
    overTemperature = check(kOverTemperature, 262, 142, overTemperatureLabel);
    lampHours = check(kLampHours, 24, 172);
    lampFail = check(kLampFail, 262, 172);

    auto* smtpBox = new QGroupBox(QStringLiteral("SMTP:"), page);
    smtpBox->setGeometry(8, 210, 492, 110);
    server = edit(kServer, 20, 232);
    user = edit(kUser, 20, 262);
    password = edit(kPassword, 262, 262);
    password->setEchoMode(QLineEdit::Password);

    test = named(new QPushButton(QStringLiteral("Email Alert Test"), page), testId);
    test->setGeometry(8, 328, 130, 28);
    test->setAutoDefault(false);
    submit = named(new QPushButton(QStringLiteral("Submit"), page), submitId);
    submit->setGeometry(412, 328, 88, 28);
    submit->setAutoDefault(false);
}

QWidget* AlertControls::Control(int id) const {
    for (QWidget* widget : All()) {
        if (widget->objectName() == ControlName(id))
            return widget;
    }
    return nullptr;
}

std::optional<AlertSettings> AlertControls::Read(const AlertSettings& kept) const {
    AlertSettings alert;
    for (const AlertFieldDef& field : AlertFields()) {
        QWidget* widget = Control(field.controlId);
        if (field.kind == AlertFieldKind::Flag) {
            alert.*field.flag = static_cast<QCheckBox*>(widget)->isChecked() ? 1 : 0;
            continue;
        }
        const auto bytes = ProjectorBytesOf(
            widget,
            QString::fromLatin1(field.label.data(), static_cast<qsizetype>(field.label.size())),
            static_cast<QLineEdit*>(widget)->text(), kept.*field.text);
        if (!bytes)
            return std::nullopt;
        alert.*field.text = *bytes;
    }
    return alert;
}

void AlertControls::Write(const AlertSettings& alert) {
    for (const AlertFieldDef& field : AlertFields()) {
        QWidget* widget = Control(field.controlId);
        if (field.kind == AlertFieldKind::Flag)
            static_cast<QCheckBox*>(widget)->setChecked(alert.*field.flag != 0);
        else
            static_cast<QLineEdit*>(widget)->setText(ShownProjectorText(alert.*field.text));
    }
}

std::vector<QWidget*> AlertControls::All() const {
    return {to,       cc,     subject, from,     fanLock, overTemperature, lampHours,
            lampFail, server, user,    password, test,    submit};
}

}  // namespace vistrel
