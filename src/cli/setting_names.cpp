#include "cli/setting_names.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>

#include "cli/cli_options.h"
#include "protocol/alert_fields.h"
#include "protocol/text_encoding.h"
#include "protocol/wire_fields.h"

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
    using K = ValueKind;
    using R = SettingRecord;
    r.Register({"dhcp", K::OnOff, R::Network, "take the address from a DHCP server", 0});
    r.Register({"ip", K::Address, R::Network, "fixed address; the projector moves there", 0});
    r.Register({"mask", K::Address, R::Network, "subnet mask of the fixed address", 0});
    r.Register({"gateway", K::Address, R::Network, "gateway of the fixed address", 0});
    r.Register({"dns", K::Address, R::Network, "DNS server of the fixed address", 0});
    r.Register({"admin-access", K::OnOff, R::User, "administrator access to web control", 0});
    r.Register({"admin-password", K::Secret, R::User, "administrator password", kTextFieldWidth});
    r.Register({"user-access", K::OnOff, R::User, "user access to web control", 0});
    r.Register({"user-password", K::Secret, R::User, "user password", kTextFieldWidth});
    // The Alert page's own entries.
    for (const AlertFieldDef& field : AlertFields()) {
        const ValueKind kind = field.kind == AlertFieldKind::Flag     ? K::OnOff
                               : field.kind == AlertFieldKind::Secret ? K::Secret
                                                                      : K::Text;
        r.Register({std::string(field.name), kind, R::Alert, std::string(field.help),
                    field.kind == AlertFieldKind::Flag ? 0 : kTextFieldWidth});
    }
    // The settings pages' own entries: their names, ranges, lists and codes.
    for (const SettingDef& def : AllSettings()) {
        if (def.groupVariant)
            continue;
        std::string help(def.label);
        if (!help.empty() && help.back() == ':')
            help.pop_back();
        // Other lists' names for a row, as "User = User-1".
        std::string aliases;
        for (OptionTable list : def.otherLists) {
            for (int r = 0; r < RowCount(list); ++r) {
                const std::string label(LabelAt(list, r));
                const auto row = ChoiceRowByLabel(def, label);
                if (!row || Lower(LabelAt(def.options, *row)) == Lower(label))
                    continue;
                const std::string alias = label + " = " + std::string(LabelAt(def.options, *row));
                if (aliases.find(alias) == std::string::npos)
                    aliases += (aliases.empty() ? "" : ", ") + alias;
            }
        }
        if (!aliases.empty())
            help += " (" + aliases + ")";
        r.Register({std::string(def.name), K::Catalog, R::Control, help, def.textWidth, &def});
    }
    return r;
}

// Typed bytes as a message may show them: control bytes, and the bytes of text that is not
// UTF-8, as \xNN, so that a refusal never writes raw bytes to the terminal.
std::string Shown(std::string_view text) {
    const bool utf8 = IsValidUtf8(text);
    std::string out;
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F || (c >= 0x80 && !utf8)) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

[[noreturn]] void Refuse(const std::string& message) {
    throw UsageError(message + " (see \"vistrel-cli set --help\")");
}

// A text from the command line (UTF-8) as the projector stores it: its 8-bit encoding, one
// byte a character, as the console's pages send it. Refuses what does not fit or cannot be
// stored there.
std::string ProjectorTextValue(const std::string& name, const std::string& utf8, size_t width) {
    std::string refused;
    const auto bytes = ProjectorTextFromUtf8(utf8, &refused);
    if (!bytes)
        Refuse(name + ": the character \"" + Shown(refused) + "\" cannot be stored by a projector");
    if (bytes->size() > width) {
        Refuse(name + " is " + std::to_string(bytes->size()) +
               " bytes long; projectors store at most " + std::to_string(width));
    }
    return *bytes;
}

// A list row without a command (the source list's "None") can be reported but not chosen.
bool Choosable(const SettingDef& def, int row) {
    return !CommandAt(def.options, row).empty();
}

}  // namespace

std::vector<std::string> ChoiceSpellings(const SettingDef& def) {
    std::vector<std::string> labels;
    const auto add = [&](std::string_view label) {
        const std::string text(label);
        if (std::find_if(labels.begin(), labels.end(), [&](const std::string& l) {
                return Lower(l) == Lower(text);
            }) == labels.end()) {
            labels.push_back(text);
        }
    };
    for (int i = 0; i < RowCount(def.options); ++i) {
        if (Choosable(def, i))
            add(LabelAt(def.options, i));
    }
    for (OptionTable list : def.otherLists) {
        for (int r = 0; r < RowCount(list); ++r) {
            const auto row = ChoiceRowByLabel(def, LabelAt(list, r));
            if (row && Choosable(def, *row))
                add(LabelAt(list, r));
        }
    }
    return labels;
}

namespace {

bool IsControl(unsigned char c) {
    return c < 0x20 || c == 0x7F;
}

}  // namespace

std::string ValueSpec(const SettingName& setting) {
    switch (setting.kind) {
        case ValueKind::OnOff:
            return "on|off";
        case ValueKind::Address:
            return "A.B.C.D";
        case ValueKind::Secret:
            return "-|@FILE";
        case ValueKind::Text:
            return "TEXT";
        case ValueKind::Catalog:
            break;
    }
    const SettingDef& def = *setting.def;
    switch (def.kind) {
        case SettingKind::Toggle:
            return "on|off";
        case SettingKind::Choice: {
            std::string labels;
            for (const std::string& label : ChoiceSpellings(def))
                labels += (labels.empty() ? "" : "|") + label;
            return labels;
        }
        case SettingKind::Number:
            return std::to_string(def.low) + ".." + std::to_string(def.high);
        case SettingKind::Text:
            return "TEXT (at most " + std::to_string(def.textWidth) + " bytes)";
        case SettingKind::Action:
            return "(no value)";
    }
    return {};
}

std::string CheckCatalogValue(const SettingDef& def, const std::string& value) {
    const std::string name(def.name);
    switch (def.kind) {
        case SettingKind::Toggle:
            if (!OnOffValue(value))
                Refuse(name + " is on or off, not \"" + Shown(value) + "\"");
            return *OnOffValue(value) ? "on" : "off";
        case SettingKind::Choice: {
            const std::optional<int> row = ChoiceRowByLabel(def, value);
            if (row && Choosable(def, *row))
                return std::string(LabelAt(def.options, *row));
            std::string labels;
            for (const std::string& label : ChoiceSpellings(def))
                labels += (labels.empty() ? "" : ", ") + label;
            if (row) {
                Refuse(name + " " + Shown(value) +
                       " is what a projector reports, not a value to send; give one of " + labels);
            }
            Refuse(name + " is one of " + labels + ", not \"" + Shown(value) + "\"");
        }
        case SettingKind::Number: {
            int number = 0;
            const char* end = value.data() + value.size();
            const auto [ptr, ec] = std::from_chars(value.data(), end, number);
            // The window's two messages: no whole number at all, or one outside the range.
            if (value.empty() || ptr != end || ec == std::errc::invalid_argument)
                Refuse(name + ": Please enter an integer.");
            if (ec != std::errc() || !InRange(def, number))
                Refuse(name + ": " + RangeMessage(def.low, def.high));
            return std::to_string(number);
        }
        case SettingKind::Text:
            if (std::any_of(value.begin(), value.end(), IsControl))
                Refuse(name + " contains a control character");
            return ProjectorTextValue(name, value, def.textWidth);
        case SettingKind::Action:
            if (!value.empty())
                Refuse(name + " takes no value: give it alone, as \"" + name + "\"");
            return value;
    }
    return value;
}

std::optional<std::string> CatalogBody(const SettingDef& def, const std::string& value) {
    switch (def.kind) {
        case SettingKind::Toggle:
            if (const auto on = OnOffValue(value))
                return BuildSettingBody(def, *on ? 1 : 0);
            return std::nullopt;
        case SettingKind::Choice:
            if (const std::optional<int> row = ChoiceRowByLabel(def, value);
                row && Choosable(def, *row)) {
                return BuildSettingBody(def, *row);
            }
            return std::nullopt;
        case SettingKind::Number: {
            int number = 0;
            const char* end = value.data() + value.size();
            const auto [ptr, ec] = std::from_chars(value.data(), end, number);
            if (value.empty() || ec != std::errc() || ptr != end)
                return std::nullopt;
            return BuildSettingBody(def, number);
        }
        case SettingKind::Text:
            if (value.size() > def.textWidth ||
                std::any_of(value.begin(), value.end(), IsControl)) {
                return std::nullopt;
            }
            return BuildTextSettingBody(def, value);
        case SettingKind::Action:
            return BuildActionBody(def);
    }
    return std::nullopt;
}

std::optional<std::string> CatalogValueText(const SettingDef& def, std::string_view reply) {
    const std::optional<int> value = CurrentValue(def, reply);
    if (!value)
        return std::nullopt;
    switch (def.kind) {
        case SettingKind::Toggle:
            return *value ? "on" : "off";
        case SettingKind::Choice:
            if (*value < 0)
                return "code " + std::to_string(ReportedValue(def, reply));
            return std::string(LabelAt(def.options, *value));
        case SettingKind::Number:
            return std::to_string(*value);
        case SettingKind::Text:
        case SettingKind::Action:
            break;
    }
    return std::nullopt;
}

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
        Refuse("unknown setting \"" + Shown(name) + "\"; the settings are " + names);
    }
    const bool action = setting->def && setting->def->kind == SettingKind::Action;
    if (eq == std::string::npos && !action)
        Refuse(setting->name + " needs a value: " + setting->name + "=VALUE");
    SettingAssignment a{setting->name, eq == std::string::npos ? "" : word.substr(eq + 1)};
    switch (setting->kind) {
        case ValueKind::Catalog:
            a.value = CheckCatalogValue(*setting->def, a.value);
            break;
        case ValueKind::OnOff:
            if (!OnOffValue(a.value))
                Refuse(a.name + " is on or off, not \"" + Shown(a.value) + "\"");
            a.value = *OnOffValue(a.value) ? "on" : "off";
            break;
        case ValueKind::Address:
            if (!IsDottedQuad(a.value))
                Refuse(a.name + " needs an IPv4 address such as 192.168.1.20, not \"" +
                       Shown(a.value) + "\"");
            break;
        case ValueKind::Text:
            if (std::any_of(a.value.begin(), a.value.end(),
                            [](unsigned char c) { return c < 0x20 || c == 0x7F; })) {
                Refuse(a.name + " contains a control character");
            }
            a.value = ProjectorTextValue(a.name, a.value, setting->maxBytes);
            break;
        case ValueKind::Secret:
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
