#include "cli/setting_names.h"

#include <algorithm>
#include <cctype>

#include "cli/cli_options.h"

namespace vistrel::cli {
namespace {

std::string Lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

SettingRegistry BuildSettings() {
    SettingRegistry r;
    using K = SettingKind;
    using R = SettingRecord;
    r.Register({"dhcp", K::OnOff, R::Network, "take the address from a DHCP server", 0});
    r.Register({"ip", K::Address, R::Network, "fixed address; the projector moves there", 0});
    r.Register({"mask", K::Address, R::Network, "subnet mask of the fixed address", 0});
    r.Register({"gateway", K::Address, R::Network, "gateway of the fixed address", 0});
    r.Register({"dns", K::Address, R::Network, "DNS server of the fixed address", 0});
    r.Register({"admin-access", K::OnOff, R::User, "administrator access to web control", 0});
    r.Register({"admin-password", K::Secret, R::User, "administrator password", 32});
    r.Register({"user-access", K::OnOff, R::User, "user access to web control", 0});
    r.Register({"user-password", K::Secret, R::User, "user password", 32});
    r.Register({"mail-to", K::Text, R::Alert, "alert mail recipient", 32});
    r.Register({"mail-cc", K::Text, R::Alert, "alert mail copy recipient", 32});
    r.Register({"mail-subject", K::Text, R::Alert, "alert mail subject", 32});
    r.Register({"mail-from", K::Text, R::Alert, "alert mail sender", 32});
    r.Register({"smtp-server", K::Text, R::Alert, "SMTP server the projector sends through", 32});
    r.Register({"smtp-user", K::Text, R::Alert, "SMTP user name", 32});
    r.Register({"smtp-password", K::Secret, R::Alert, "SMTP password", 32});
    r.Register({"alert-fan-lock", K::OnOff, R::Alert, "mail when a fan locks", 0});
    r.Register({"alert-over-temperature", K::OnOff, R::Alert, "mail on over temperature", 0});
    r.Register({"alert-lamp-hours", K::OnOff, R::Alert, "mail when lamp hours run out", 0});
    r.Register({"alert-lamp-fail", K::OnOff, R::Alert, "mail when the lamp fails", 0});
    return r;
}

[[noreturn]] void Refuse(const std::string& message) {
    throw UsageError(message + " (see \"vistrel-cli set --help\")");
}

}  // namespace

void SettingRegistry::Register(SettingName setting) {
    settings_.push_back(std::move(setting));
}

const SettingName* SettingRegistry::Find(std::string_view name) const {
    const std::string lower = Lower(name);
    for (const SettingName& s : settings_) {
        if (s.name == lower)
            return &s;
    }
    return nullptr;
}

const SettingRegistry& Settings() {
    static const SettingRegistry settings = BuildSettings();
    return settings;
}

std::optional<bool> OnOffValue(std::string_view value) {
    const std::string lower = Lower(value);
    if (lower == "on")
        return true;
    if (lower == "off")
        return false;
    return std::nullopt;
}

SettingAssignment ParseAssignment(const std::string& word) {
    const size_t eq = word.find('=');
    const std::string name = word.substr(0, eq);
    const SettingName* setting = Settings().Find(name);
    if (!setting) {
        std::string names;
        for (const SettingName& s : Settings().All())
            names += (names.empty() ? "" : ", ") + s.name;
        Refuse("unknown setting \"" + name + "\"; the settings are " + names);
    }
    if (eq == std::string::npos)
        Refuse(setting->name + " needs a value: " + setting->name + "=VALUE");
    SettingAssignment a{setting->name, word.substr(eq + 1)};
    switch (setting->kind) {
        case SettingKind::OnOff:
            if (!OnOffValue(a.value))
                Refuse(a.name + " is on or off, not \"" + a.value + "\"");
            a.value = *OnOffValue(a.value) ? "on" : "off";
            break;
        case SettingKind::Address:
            if (!IsDottedQuad(a.value))
                Refuse(a.name + " needs an IPv4 address such as 192.168.1.20, not \"" + a.value +
                       "\"");
            break;
        case SettingKind::Text:
            if (a.value.size() > setting->maxBytes) {
                Refuse(a.name + " is " + std::to_string(a.value.size()) +
                       " bytes long; projectors store at most " +
                       std::to_string(setting->maxBytes));
            }
            if (std::any_of(a.value.begin(), a.value.end(),
                            [](unsigned char c) { return c < 0x20 || c == 0x7F; })) {
                Refuse(a.name + " contains a control character");
            }
            break;
        case SettingKind::Secret:
            // A password typed on the command line stays in the shell history and shows in
            // the process list.
            if (a.value != "-" && (a.value.size() < 2 || a.value[0] != '@')) {
                Refuse(a.name + " is never taken from the command line: give " + a.name +
                       "=- to read it from standard input, or " + a.name + "=@FILE");
            }
            break;
    }
    return a;
}

}  // namespace vistrel::cli
