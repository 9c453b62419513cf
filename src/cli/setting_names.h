// The names that "vistrel-cli set" accepts, each with the kind of value it takes and the
// record that carries it. The parser, the help, the shell completion and the commands read
// this one list; settings of other records join it by registering their own names.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/setting_catalog.h"

namespace vistrel::cli {

enum class ValueKind {
    OnOff,    // on | off
    Address,  // IPv4 dotted quad
    Text,     // at most `maxBytes` bytes, no control characters
    Secret,   // never on the command line: "-" (standard input) or "@FILE"
    Catalog,  // a settings-page setting: what it takes is its catalog entry's
};

// The record a setting travels in; settings of one record go out together.
enum class SettingRecord { Network, User, Alert, Control };

struct SettingName {
    std::string name;
    ValueKind kind = ValueKind::Text;
    SettingRecord record = SettingRecord::Network;
    std::string help;
    size_t maxBytes = kTextFieldWidth;
    const SettingDef* def = nullptr;  // Catalog: the page's definition
};

class SettingRegistry {
  public:
    void Register(SettingName setting);
    const SettingName* Find(std::string_view name) const;
    const std::vector<SettingName>& All() const { return settings_; }

  private:
    std::vector<SettingName> settings_;
};

// Every name the command line knows, network, users and alert first.
const SettingRegistry& Settings();

// What a setting takes, as help and "settings --list" show it: "on|off", "0..100",
// "VGA-1|VGA-2|...", "TEXT", "(no value)".
std::string ValueSpec(const SettingName& setting);

// Every spelling `set` takes for a Choice setting's values, in list order: its rows that
// can be sent, then the other lists' names for them ("User" for "User-1").
std::vector<std::string> ChoiceSpellings(const SettingDef& def);

// The request body that gives a catalog setting the value `value` (as ParseAssignment left it);
// nullopt when the value does not suit it.
std::optional<std::string> CatalogBody(const SettingDef& def, const std::string& value);

// The value of a catalog setting in a control reply as the command line spells it: "on"/"off",
// a list label, a number; nullopt when the reply does not report the setting. A reported code
// that matches no list row reads "code N".
std::optional<std::string> CatalogValueText(const SettingDef& def, std::string_view reply);

// Checks a catalog setting's value and returns it as the command line spells it (a list's
// label as the table spells it, "on"/"off", a number); throws UsageError with the page's
// message when the value does not suit the setting.
std::string CheckCatalogValue(const SettingDef& def, const std::string& value);

// One name=value of a "set" command, checked against its definition.
struct SettingAssignment {
    std::string name;
    std::string value;  // for a secret: "-" or "@FILE", read when the command runs
};

// Parses "name=value"; throws UsageError with the reason when the name is unknown or the
// value does not suit it.
SettingAssignment ParseAssignment(const std::string& word);

// Text of the value as the kind reads it: "on"/"off" in any case give true/false.
std::optional<bool> OnOffValue(std::string_view value);

}  // namespace vistrel::cli
