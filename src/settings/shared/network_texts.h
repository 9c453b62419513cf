// Texts and helpers the two forms of the Network page share.
#pragma once

#include <QString>

class QComboBox;
class QWidget;

namespace vistrel {

inline constexpr char kIpErrorText[] = "IP error, please check your DHCP server!";
inline constexpr char kGroupRelocatedText[] =
    "The projectors are moving to their new addresses; this dialog will now close.";
inline constexpr char kConfirmPasswordError[] = "The passwords do not match.";
inline constexpr char kBadAddressText[] = "Please enter a valid IP address.";
inline constexpr char kChooseAccessText[] =
    "Please choose whether the administrator account is on or off.";

// The question before a projector form's "set=network": names where the projector goes.
QString RelocateQuestion(bool dhcp, const QString& newAddress);
// The question before the group form's DHCP change for `count` projectors.
QString GroupRelocateQuestion(bool dhcp, int count);

// The relocation question (OK/Cancel, warning icon); true only for OK.
bool AskRelocate(QWidget* parent, const QString& question);

}  // namespace vistrel
