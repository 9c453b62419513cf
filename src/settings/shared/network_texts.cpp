#include "settings/shared/network_texts.h"

#include <QMessageBox>

#include "app/app_message.h"

namespace vistrel {

QString RelocateQuestion(bool dhcp, const QString& newAddress) {
    if (dhcp)
        return QStringLiteral(
            "Switch the projector to DHCP? It will take its address from the "
            "DHCP server and may answer from a new one.");
    return QStringLiteral("Move the projector to %1?").arg(newAddress);
}

QString GroupRelocateQuestion(bool dhcp, int count) {
    const QString which = count == 1 ? QStringLiteral("the selected projector")
                                     : QStringLiteral("the %1 selected projectors").arg(count);
    if (dhcp)
        return QStringLiteral("Switch DHCP on for %1? Each may move to a new address.").arg(which);
    return QStringLiteral("Switch DHCP off for %1? Each keeps the address it reports now.")
        .arg(which);
}

bool AskRelocate(QWidget* parent, const QString& question) {
    QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kAppTitle), question,
                    QMessageBox::Ok | QMessageBox::Cancel, parent);
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
