// The Alert page's settings, defined once: the name tools use for each, the page's control
// and label, and the member of AlertSettings it fills. The page binds its controls through
// this list and vistrel-cli sets, exports and imports alert settings by these names; the
// record's layout stays in the codec.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "protocol/codec.h"

namespace vistrel {

enum class AlertFieldKind {
    Text,    // an edit: at most kTextFieldWidth bytes
    Flag,    // a check box: 1 ticked, 0 not
    Secret,  // the SMTP password: masked on the page, never written out by tools
};

struct AlertFieldDef {
    std::string_view name;   // stable, lower-case: "mail-to", "alert-lamp-fail"
    std::string_view label;  // the projector form's label
    int controlId;           // the same in both forms
    AlertFieldKind kind;
    std::string AlertSettings::*text = nullptr;  // Text, Secret
    int AlertSettings::*flag = nullptr;          // Flag
    std::string_view help;
};

// In the order of the page: mail, alert conditions, SMTP account.
std::span<const AlertFieldDef> AlertFields();

// The field of that name; null when there is none.
const AlertFieldDef* FindAlertField(std::string_view name);

// The field of that control id; null when there is none.
const AlertFieldDef* AlertFieldByControl(int controlId);

// A field's value as tools spell it: the text, or "on"/"off" for a flag.
std::string AlertFieldValue(const AlertFieldDef& field, const AlertSettings& alert);

// Gives the field the value as tools spell it; false, with nothing changed, when the value
// does not suit the field (not on/off for a flag, too long or with a control character for
// a text).
bool SetAlertFieldValue(const AlertFieldDef& field, AlertSettings& alert, std::string_view value);

// Why a text does not suit an alert text field; nullopt when it does.
std::optional<std::string> AlertTextProblem(std::string_view text);

}  // namespace vistrel
