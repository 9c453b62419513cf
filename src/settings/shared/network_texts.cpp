#include "settings/shared/network_texts.h"

#include <QMessageBox>

#include "app/app_message.h"

namespace vistrel {

bool AskRelocate(QWidget* parent) {
    QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kAppTitle),
                    QString::fromLatin1(kRelocateQuestion), QMessageBox::Ok | QMessageBox::Cancel,
                    parent);
    box.setObjectName(QStringLiteral("relocateQuestion"));
    return box.exec() == QMessageBox::Ok;
}

int ShowWarning(QWidget* parent, const QString& text, bool withCancel, const QString& details) {
    QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kAppTitle), text,
                    withCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("appMessage"));
    if (!details.isEmpty())
        box.setInformativeText(details);
    return box.exec();
}

}  // namespace vistrel
