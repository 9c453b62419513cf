// The names that "vistrel-cli set" accepts, each with the kind of value it takes and the
// record that carries it. The parser, the help, the shell completion and the commands read
// this one list; settings of other records join it by registering their own names.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vistrel::cli {

enum class SettingKind {
    OnOff,    // on | off
    Address,  // IPv4 dotted quad
    Text,     // at most `maxBytes` bytes, no control characters
    Secret,   // never on the command line: "-" (standard input) or "@FILE"
};

// The record a setting travels in; settings of one record go out together.
enum class SettingRecord { Network, User, Alert };

struct SettingName {
    std::string name;
    SettingKind kind = SettingKind::Text;
    SettingRecord record = SettingRecord::Network;
    std::string help;
    size_t maxBytes = 32;
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
