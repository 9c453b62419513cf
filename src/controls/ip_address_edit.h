// An IPv4 address entry: four dotted decimal fields, read and written as the packed address
// the wire records carry (first octet most significant).
#pragma once

#include <QLineEdit>
#include <cstdint>
#include <optional>

namespace vistrel {

class CIpAddressEdit : public QLineEdit {
    Q_OBJECT
  public:
    explicit CIpAddressEdit(QWidget* parent = nullptr);

    void SetAddress(uint32_t packed);
    // The packed address; a blank entry reads as 0.0.0.0. nullopt when the text is not four
    // octets 0-255.
    std::optional<uint32_t> Address() const;
};

}  // namespace vistrel
