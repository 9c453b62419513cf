#include "settings/common/password_form.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "protocol/codec.h"
#include "protocol/wire_fields.h"
#include "settings/common/field_width.h"
#include "settings/common/settings_page.h"

namespace vistrel {

bool PasswordEntries::Confirmed() const {
    return adminPassword == adminConfirm && userPassword == userConfirm;
}

std::optional<std::string> PasswordEntries::UserRecord() const {
    if (adminAccess < 0)
        return std::nullopt;
    const int userIndex = userAccess < 0 ? 1 : userAccess;
    // The lists show ON at index 0; the record's digit is 1 for ON.
    return BuildUserRecord(1 - adminAccess, adminPassword, 1 - userIndex, userPassword);
}

std::optional<std::string> PasswordEntries::UserRecordKeeping(int userAccessDigit) const {
    if (adminAccess < 0)
        return std::nullopt;
    return BuildUserRecord(1 - adminAccess, adminPassword, userAccessDigit, userPassword);
}

std::vector<int> PasswordControls::AfterPageIds(std::vector<int> pageIds) {
    for (int id : {kAdminAccess, kAdminPassword, kAdminConfirm, kUserAccess, kUserPassword,
                   kUserConfirm, kSubmit})
        pageIds.push_back(id);
    return pageIds;
}

void PasswordControls::Build(QWidget* page, const char* onLabel, const char* offLabel) {
    auto named = [](auto* widget, int id) {
        widget->setObjectName(ControlName(id));
        return widget;
    };
    auto caption = [page](const char* text, int x, int y, int width) {
        auto* label = new QLabel(QString::fromLatin1(text), page);
        label->setGeometry(x, y, width, 22);
        return label;
    };
    auto accessList = [&](int id) {
        auto* list = named(new QComboBox(page), id);
        list->addItem(QString::fromLatin1(onLabel));
        list->addItem(QString::fromLatin1(offLabel));
        list->setCurrentIndex(-1);
        return list;
    };
    auto edit = [&](int id) {
        auto* line = named(new QLineEdit(page), id);
        // A password longer than its record field would be cut without a word: refused
        // as typed.
        LimitToField(line, kTextFieldWidth);
        // Someone beside the operator must not read the password off the screen.
        line->setEchoMode(QLineEdit::Password);
        return line;
    };

    auto* box = new QGroupBox(QStringLiteral("Password"), page);
    box->setGeometry(8, 196, 492, 160);
    caption("Administrator:", 24, 218, 110);
    adminList = accessList(kAdminAccess);
    adminList->setGeometry(144, 218, 80, 22);
    caption("New Password:", 24, 250, 110);
    adminPassword = edit(kAdminPassword);
    adminPassword->setGeometry(144, 250, 150, 22);
    caption("Confirm Password:", 24, 282, 118);
    adminConfirm = edit(kAdminConfirm);
    adminConfirm->setGeometry(144, 282, 150, 22);

    QLabel* userCaptions[] = {caption("User:", 300, 218, 60), caption("New Password:", 300, 250, 0),
                              caption("Confirm Password:", 300, 282, 0)};
    userList = accessList(kUserAccess);
    userPassword = edit(kUserPassword);
    userConfirm = edit(kUserConfirm);
    for (QWidget* hidden : {static_cast<QWidget*>(userList), static_cast<QWidget*>(userPassword),
                            static_cast<QWidget*>(userConfirm)}) {
        hidden->setGeometry(360, 218, 100, 22);
        hidden->hide();
    }
    for (QLabel* label : userCaptions)
        label->hide();

    submit = named(new QPushButton(QStringLiteral("Submit"), page), kSubmit);
    submit->setGeometry(400, 318, 88, 28);
    submit->setAutoDefault(false);
}

PasswordEntries PasswordControls::Read() const {
    PasswordEntries entries;
    entries.adminPassword = adminPassword->text().toStdString();
    entries.adminConfirm = adminConfirm->text().toStdString();
    entries.userPassword = userPassword->text().toStdString();
    entries.userConfirm = userConfirm->text().toStdString();
    entries.adminAccess = adminList->currentIndex();
    entries.userAccess = userList->currentIndex();
    return entries;
}

void PasswordControls::Write(const PasswordEntries& entries) {
    adminPassword->setText(QString::fromStdString(entries.adminPassword));
    adminConfirm->setText(QString::fromStdString(entries.adminConfirm));
    userPassword->setText(QString::fromStdString(entries.userPassword));
    userConfirm->setText(QString::fromStdString(entries.userConfirm));
    adminList->setCurrentIndex(entries.adminAccess);
    userList->setCurrentIndex(entries.userAccess);
}

std::vector<QWidget*> PasswordControls::All() const {
    return {adminList, adminPassword, adminConfirm, userList, userPassword, userConfirm, submit};
}

}  // namespace vistrel
