#include "protocol/alert_fields.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "protocol/wire_fields.h"

namespace vistrel {
namespace {

using K = AlertFieldKind;
using A = AlertSettings;

constexpr AlertFieldDef TextField(std::string_view name, std::string_view label, int id,
                                  std::string A::*member, std::string_view help, K kind = K::Text) {
    return {name, label, id, kind, member, nullptr, help};
}

constexpr AlertFieldDef FlagField(std::string_view name, std::string_view label, int id,
                                  int A::*member, std::string_view help) {
    return {name, label, id, K::Flag, nullptr, member, help};
}

constexpr std::array kFields = {
    TextField("mail-to", "To:", 1073, &A::mailTo, "alert mail recipient"),
    TextField("mail-cc", "CC:", 1074, &A::mailCc, "alert mail copy recipient"),
    TextField("mail-subject", "Subject:", 1075, &A::mailSubject, "alert mail subject"),
    TextField("mail-from", "From:", 1076, &A::mailFrom, "alert mail sender"),
    FlagField("alert-fan-lock", "Fan lock", 1080, &A::alertFanLock, "mail when a fan locks"),
    FlagField("alert-over-temperature", "Over temperature", 1081, &A::alertOverTemperature,
              "mail on over temperature"),
    FlagField("alert-lamp-hours", "Lamp hours running out", 1082, &A::alertLampHours,
              "mail when lamp hours run out"),
    FlagField("alert-lamp-fail", "Lamp fail", 1083, &A::alertLampFail, "mail when the lamp fails"),
    TextField("smtp-server", "Server:", 1077, &A::smtpServer,
              "SMTP server the projector sends through"),
    TextField("smtp-user", "User Name:", 1078, &A::smtpUser, "SMTP user name"),
    TextField("smtp-password", "Password:", 1079, &A::smtpPassword, "SMTP password", K::Secret),
};

std::string Lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

}  // namespace

std::span<const AlertFieldDef> AlertFields() {
    return kFields;
}

const AlertFieldDef* FindAlertField(std::string_view name) {
    for (const AlertFieldDef& field : kFields) {
        if (field.name == name)
            return &field;
    }
    return nullptr;
}

const AlertFieldDef* AlertFieldByControl(int controlId) {
    for (const AlertFieldDef& field : kFields) {
        if (field.controlId == controlId)
            return &field;
    }
    return nullptr;
}

std::string AlertFieldValue(const AlertFieldDef& field, const AlertSettings& alert) {
    if (field.kind == K::Flag)
        return alert.*field.flag ? "on" : "off";
    return alert.*field.text;
}

std::optional<std::string> AlertTextProblem(std::string_view text) {
    // The record's fields are 32 bytes; a longer text would be cut without a word.
    if (text.size() > kTextFieldWidth) {
        return "is " + std::to_string(text.size()) + " bytes long; projectors store at most " +
               std::to_string(kTextFieldWidth);
    }
    if (std::any_of(text.begin(), text.end(),
                    [](unsigned char c) { return c < 0x20 || c == 0x7F; })) {
        return "contains a control character";
    }
    return std::nullopt;
}

bool SetAlertFieldValue(const AlertFieldDef& field, AlertSettings& alert, std::string_view value) {
    if (field.kind == K::Flag) {
        const std::string lower = Lower(value);
        if (lower != "on" && lower != "off")
            return false;
        alert.*field.flag = lower == "on" ? 1 : 0;
        return true;
    }
    if (AlertTextProblem(value))
        return false;
    alert.*field.text = std::string(value);
    return true;
}

}  // namespace vistrel
