#include "settings/common/field_width.h"

#include <QLineEdit>
#include <QToolTip>

#include "controls/message_box.h"
#include "protocol/text_encoding.h"

namespace vistrel {

FieldWidthValidator::FieldWidthValidator(size_t width, QObject* parent, bool projectorText)
    : QValidator(parent), width_(width), projectorText_(projectorText) {}

QValidator::State FieldWidthValidator::validate(QString& input, int&) const {
    const size_t size = projectorText_ ? ProjectorTextSize(input.toStdString())
                                       : static_cast<size_t>(input.toUtf8().size());
    return size <= width_ ? Acceptable : Invalid;
}

void LimitToField(QLineEdit* edit, size_t width) {
    edit->setMaxLength(static_cast<int>(width));
    edit->setValidator(new FieldWidthValidator(width, edit));
    // A refused keystroke or paste is said where the operator looks, without a box.
    QObject::connect(edit, &QLineEdit::inputRejected, edit, [edit, width] {
        QToolTip::showText(edit->mapToGlobal(QPoint(0, edit->height())),
                           QStringLiteral("At most %1 bytes fit in this field.").arg(width), edit);
    });
}

void LimitToProjectorField(QLineEdit* edit, size_t width) {
    edit->setMaxLength(static_cast<int>(width));
    edit->setValidator(new FieldWidthValidator(width, edit, true));
}

QString ShownProjectorText(const std::string& bytes) {
    return QString::fromStdString(ProjectorTextAsUtf8(bytes));
}

std::optional<std::string> ProjectorBytesOf(QWidget* parent, const QString& what,
                                            const QString& shown, const std::string& kept) {
    std::string refused;
    auto bytes = ProjectorTextForEdit(shown.toStdString(), kept, &refused);
    if (!bytes) {
        ShowInformation(parent, QStringLiteral("%1: the character \"%2\" cannot be sent to a "
                                               "projector. Please use another one.")
                                    .arg(what, QString::fromStdString(refused)));
    }
    return bytes;
}

}  // namespace vistrel
