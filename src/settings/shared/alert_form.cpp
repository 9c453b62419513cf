#include "settings/shared/alert_form.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

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
    auto edit = [&](int id, const char* label, int x, int y) {
        caption(label, x, y);
        auto* line = named(new QLineEdit(page), id);
        line->setGeometry(x + 84, y, 150, 22);
        // Each text travels in a 32-byte field: what would not fit is refused as typed.
        LimitToField(line, kTextFieldWidth);
        return line;
    };
    auto check = [&](int id, const char* label, int x, int y) {
        auto* box = named(new QCheckBox(QString::fromLatin1(label), page), id);
        box->setGeometry(x, y, 200, 22);
        return box;
    };

    auto* mailBox = new QGroupBox(QStringLiteral("Email:"), page);
    mailBox->setGeometry(8, 4, 492, 110);
    to = edit(kTo, "To:", 20, 26);
    cc = edit(kCc, "CC:", 262, 26);
    subject = edit(kSubject, "Subject:", 20, 56);
    from = edit(kFrom, "From:", 262, 56);

    auto* alertBox = new QGroupBox(QStringLiteral("Alert:"), page);
    alertBox->setGeometry(8, 120, 492, 84);
    fanLock = check(kFanLock, "Fan lock", 24, 142);
    overTemperature = check(kOverTemperature, overTemperatureLabel, 262, 142);
    lampHours = check(kLampHours, "Lam hour running out", 24, 172);
    lampFail = check(kLampFail, "Lamp fail", 262, 172);

    auto* smtpBox = new QGroupBox(QStringLiteral("SMTP:"), page);
    smtpBox->setGeometry(8, 210, 492, 110);
    server = edit(kServer, "Server:", 20, 232);
    user = edit(kUser, "User Name:", 20, 262);
    password = edit(kPassword, "Password:", 262, 262);
    password->setEchoMode(QLineEdit::Password);

    test = named(new QPushButton(QStringLiteral("Email Alert Test"), page), testId);
    test->setGeometry(8, 328, 130, 28);
    test->setAutoDefault(false);
    submit = named(new QPushButton(QStringLiteral("Submit"), page), submitId);
    submit->setGeometry(412, 328, 88, 28);
    submit->setAutoDefault(false);
}

AlertSettings AlertControls::Read() const {
    AlertSettings alert;
    alert.mailTo = to->text().toStdString();
    alert.mailCc = cc->text().toStdString();
    alert.mailSubject = subject->text().toStdString();
    alert.mailFrom = from->text().toStdString();
    alert.smtpServer = server->text().toStdString();
    alert.smtpUser = user->text().toStdString();
    alert.smtpPassword = password->text().toStdString();
    alert.alertFanLock = fanLock->isChecked() ? 1 : 0;
    alert.alertOverTemperature = overTemperature->isChecked() ? 1 : 0;
    alert.alertLampHours = lampHours->isChecked() ? 1 : 0;
    alert.alertLampFail = lampFail->isChecked() ? 1 : 0;
    return alert;
}

void AlertControls::Write(const AlertSettings& alert) {
    to->setText(QString::fromStdString(alert.mailTo));
    cc->setText(QString::fromStdString(alert.mailCc));
    subject->setText(QString::fromStdString(alert.mailSubject));
    from->setText(QString::fromStdString(alert.mailFrom));
    server->setText(QString::fromStdString(alert.smtpServer));
    user->setText(QString::fromStdString(alert.smtpUser));
    password->setText(QString::fromStdString(alert.smtpPassword));
    fanLock->setChecked(alert.alertFanLock != 0);
    overTemperature->setChecked(alert.alertOverTemperature != 0);
    lampHours->setChecked(alert.alertLampHours != 0);
    lampFail->setChecked(alert.alertLampFail != 0);
}

std::vector<QWidget*> AlertControls::All() const {
    return {to,       cc,     subject, from,     fanLock, overTemperature, lampHours,
            lampFail, server, user,    password, test,    submit};
}

}  // namespace vistrel
