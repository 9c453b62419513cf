#include "app/app_message.h"

namespace vistrel {

void ShowInformation(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Information, QString::fromLatin1(kAppTitle), text, QMessageBox::Ok,
                    parent);
    box.setObjectName(QStringLiteral("appMessage"));
    box.exec();
}

bool AskYesNo(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Question, QString::fromLatin1(kAppTitle), text,
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setObjectName(QStringLiteral("appQuestion"));
    return box.exec() == QMessageBox::Yes;
}

}  // namespace vistrel
