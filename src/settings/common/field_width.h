// Text edits whose contents travel in a fixed-width record field. The field counts bytes
// (UTF-8), so a character limit alone would still let a non-ASCII text be cut on the wire
// without the operator seeing it: input that would not fit is refused as it is typed.
#pragma once

#include <QValidator>
#include <cstddef>
#include <optional>
#include <string>

class QLineEdit;

namespace vistrel {

class FieldWidthValidator : public QValidator {
    Q_OBJECT
  public:
    // `projectorText`: the field carries a projector text (names, message, alert fields),
    // counted in the projector's 8-bit bytes rather than UTF-8.
    FieldWidthValidator(size_t width, QObject* parent, bool projectorText = false);
    State validate(QString& input, int& pos) const override;

  private:
    size_t width_;
    bool projectorText_;
};

// Limits `edit` to texts of at most `width` bytes.
void LimitToField(QLineEdit* edit, size_t width);
// Limits `edit` to projector texts of at most `width` bytes once encoded for the projector.
void LimitToProjectorField(QLineEdit* edit, size_t width);

// A projector text (its own bytes) as a person reads it.
QString ShownProjectorText(const std::string& bytes);

// The bytes to send for an edit showing `shown` whose projector bytes were `kept`: the kept
// bytes when the operator left the text alone, otherwise the typed text encoded for the
// projector. A character the projector cannot carry is refused with a message box (parent
// `parent`, naming the field `what`) and nullopt comes back.
std::optional<std::string> ProjectorBytesOf(QWidget* parent, const QString& what,
                                            const QString& shown, const std::string& kept = {});

}  // namespace vistrel
