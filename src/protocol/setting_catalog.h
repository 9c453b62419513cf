// Every setting of the projector settings pages, defined once: its stable name, where the
// control reply reports it, what it accepts and what command sets it. The pages build their
// widgets and enabling rules around these entries, and vistrel-cli gets and sets settings by
// name through them; nobody else keeps a range or a command code.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "protocol/codec.h"
#include "protocol/option_tables.h"

namespace vistrel {

// The page that sets it: the four tabs of the projector dialog, or the group dialog's
// Projector page for what only the group form offers.
enum class SettingPage { Projector, Image, Display, Setting, Group };

enum class SettingKind {
    Toggle,  // a check box: onCode / offCode
    Choice,  // a list: the row's command of `options`
    Number,  // prefix + value in `form`, within low..high
    Text,    // prefix + the text blank-padded to `textWidth`
    Action,  // one fixed command (onCode), no value
};

// How a Choice setting's control digit maps to a list row.
enum class ChoiceKey {
    Index,  // the digit is the row's position
    Code,   // the digit is a row's code (PositionOfCode)
};

struct SettingDef {
    std::string_view name;  // stable, lower-case: "volume", "auto-power-off"
    std::string_view label;
    SettingPage page;
    SettingKind kind;
    // Where the control reply reports it; width 0 when it does not.
    size_t offset = 0;
    size_t width = 0;
    // Toggle whose reported digit is 0 when the setting is on.
    bool inverted = false;
    // Number
    int low = 0;
    int high = 0;
    int step = 1;  // what one up-down click moves by
    std::string_view prefix;
    ValueForm form = ValueForm::Plain;
    // How a "Set" button writes the value when that differs from `form` (the up-down's).
    std::optional<ValueForm> setForm;
    // Choice
    OptionTable options{};
    ChoiceKey key = ChoiceKey::Index;
    // Lists a page shows in place of `options` for some models. Their labels are other
    // spellings of `options` rows: a row of theirs sends the same command as one of `options`.
    std::span<const OptionTable> otherLists{};
    // Toggle / Action
    std::string_view onCode;
    std::string_view offCode;
    // Text
    size_t textWidth = 0;
    // The group page's own form of a setting that a projector page already defines (the
    // group volume reaches 15). Tools that address projectors one by one leave it out.
    bool groupVariant = false;
    // Settings only some models have: whether `model` offers it (nullopt when the model is
    // unknown). Null when every model does.
    std::optional<bool> (*offeredBy)(std::string_view model) = nullptr;
};

std::span<const SettingDef> AllSettings();

// The setting of that name; null when there is none.
const SettingDef* FindSetting(std::string_view name);

// A setting's definition by name for code that names settings it knows exist; a missing
// name is a programming error and aborts.
const SettingDef& Setting(std::string_view name);

// The raw number the control reply reports for the setting (leading-digits conversion of its
// field). For an inverted toggle the digit as reported, not yet inverted.
int ReportedValue(const SettingDef& def, std::string_view controlReply);

// Whether the reply carries the setting's whole field with a number in it. A reply cut short
// before the field, or a field without digits, reports nothing: reading it as 0 (or as the
// first digits of a longer number) would show a value the projector never had.
bool IsReported(const SettingDef& def, std::string_view controlReply);

// ReportedValue when IsReported; nullopt otherwise.
std::optional<int> ReportedNumber(const SettingDef& def, std::string_view controlReply);

// The setting's value as the operator sees it: for toggles 1 on / 0 off (inversion applied);
// for choices the row position (-1 when the reported digit matches no row); numbers as is.
// nullopt when the setting is not reported (see IsReported).
std::optional<int> CurrentValue(const SettingDef& def, std::string_view controlReply);

bool InRange(const SettingDef& def, int value);

// The request body that sets `value` (toggle 0/1, choice row position, number). nullopt for a
// value the setting does not accept (out of range, no such row) and for Text settings.
std::optional<std::string> BuildSettingBody(const SettingDef& def, int value);

// The body a "Set" button sends for a Number setting: `setForm` when the setting has one.
std::optional<std::string> BuildSetButtonBody(const SettingDef& def, int value);

// The row of a Choice setting's `options` that `label` names (any case): one of its own
// labels, or a label of one of its other lists whose command is that row's. nullopt when
// no row is named.
std::optional<int> ChoiceRowByLabel(const SettingDef& def, std::string_view label);

// The body of a Text setting; the text is cut or padded to the field.
std::string BuildTextSettingBody(const SettingDef& def, std::string_view text);

// What a typed number outside low..high is told, wherever a number is typed.
std::string RangeMessage(int low, int high);

// The body of an Action setting.
std::string BuildActionBody(const SettingDef& def);

// What a projector model offers, by the code of its "query=model" reply. Each answers
// nullopt for a model the console does not know, whose pages are left as they are.

// The display-mode list the model shows: list A, B or C (C while 3D is on).
std::optional<OptionTable> DisplayModeListFor(std::string_view model, int threeD);
std::optional<bool> OffersClosedCaptioning(std::string_view model);
std::optional<bool> OffersAutoKeystone(std::string_view model);

}  // namespace vistrel
