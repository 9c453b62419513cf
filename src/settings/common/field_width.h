// Text edits whose contents travel in a fixed-width record field. The field counts bytes
// (UTF-8), so a character limit alone would still let a non-ASCII text be cut on the wire
// without the operator seeing it: input that would not fit is refused as it is typed.
#pragma once

#include <QValidator>
#include <cstddef>

class QLineEdit;

namespace vistrel {

class FieldWidthValidator : public QValidator {
    Q_OBJECT
  public:
    FieldWidthValidator(size_t width, QObject* parent);
    State validate(QString& input, int& pos) const override;

  private:
    size_t width_;
};

// Limits `edit` to texts of at most `width` bytes.
void LimitToField(QLineEdit* edit, size_t width);

}  // namespace vistrel
