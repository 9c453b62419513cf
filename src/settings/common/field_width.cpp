#include "settings/common/field_width.h"

#include <QLineEdit>

namespace vistrel {

FieldWidthValidator::FieldWidthValidator(size_t width, QObject* parent)
    : QValidator(parent), width_(width) {}

QValidator::State FieldWidthValidator::validate(QString& input, int&) const {
    return static_cast<size_t>(input.toUtf8().size()) <= width_ ? Acceptable : Invalid;
}

void LimitToField(QLineEdit* edit, size_t width) {
    edit->setMaxLength(static_cast<int>(width));
    edit->setValidator(new FieldWidthValidator(width, edit));
}

}  // namespace vistrel
