// Texts and helpers the two forms of the Network page share.
#pragma once

#include <QString>

class QComboBox;
class QWidget;

namespace vistrel {

inline constexpr char kRelocateQuestion[] =
    "Relocate IP,are you sure? (Don't rushly take this action)";
inline constexpr char kIpErrorText[] = "IP error, please check your DHCP server!";
inline constexpr char kGroupRelocatedText[] = "Ip is relocating, Exit Immediately";
inline constexpr char kConfirmPasswordError[] = "ConfirmPassword Error";
inline constexpr char kBadAddressText[] = "Please enter a valid IP address.";
inline constexpr char kChooseAccessText[] = "Please choose ON or OFF for the administrator.";

// The relocation question (OK/Cancel, warning icon); true only for OK.
bool AskRelocate(QWidget* parent);
// A warning box with the application's title and the given buttons; returns the button.
int ShowWarning(QWidget* parent, const QString& text, bool withCancel = false,
                const QString& details = {});

}  // namespace vistrel
