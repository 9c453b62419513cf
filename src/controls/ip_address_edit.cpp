#include "controls/ip_address_edit.h"

#include <QRegularExpressionValidator>

#include "protocol/wire_fields.h"

namespace vistrel {

CIpAddressEdit::CIpAddressEdit(QWidget* parent) : QLineEdit(parent) {
    // Digits and dots only, at most four fields of three digits; the range is checked on read.
    setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("^(\\d{0,3})(\\.\\d{0,3}){0,3}$")), this));
    setMaxLength(15);
}

void CIpAddressEdit::SetAddress(uint32_t packed) {
    setText(QString::fromStdString(DottedAddress(packed)));
}

std::optional<uint32_t> CIpAddressEdit::Address() const {
    const QString trimmed = text().trimmed();
    if (trimmed.isEmpty())
        return 0u;
    return PackAddress(trimmed.toStdString());
}

}  // namespace vistrel
