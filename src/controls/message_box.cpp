#include "controls/message_box.h"

namespace vistrel {

QMessageBox::StandardButton ShowMessageBox(QWidget* parent, QMessageBox::Icon icon,
                                           const QString& text,
                                           QMessageBox::StandardButtons buttons,
                                           const QString& name, const QString& details) {
    QMessageBox box(icon, QString::fromLatin1(kAppTitle), text, buttons, parent);
    box.setObjectName(name);
    if (!details.isEmpty())
        box.setInformativeText(details);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace vistrel
