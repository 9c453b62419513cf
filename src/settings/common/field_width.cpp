#include "settings/common/field_width.h"

#include <QLineEdit>
#include <QToolTip>

namespace vistrel {

FieldWidthValidator::FieldWidthValidator(size_t width, QObject* parent)
    : QValidator(parent), width_(width) {}

QValidator::State FieldWidthValidator::validate(QString& input, int&) const {
    return static_cast<size_t>(input.toUtf8().size()) <= width_ ? Acceptable : Invalid;
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

}  // namespace vistrel
