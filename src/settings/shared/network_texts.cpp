#include "settings/shared/network_texts.h"

#include "controls/message_box.h"

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
    return ShowMessageBox(parent, QMessageBox::Warning, question,
                          QMessageBox::Ok | QMessageBox::Cancel,
                          QStringLiteral("relocateQuestion")) == QMessageBox::Ok;
}

}  // namespace vistrel
