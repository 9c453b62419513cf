#include "protocol/setting_catalog.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>

#include "protocol/wire_fields.h"

namespace vistrel {

namespace {

using enum SettingPage;

constexpr SettingDef Base(std::string_view name, std::string_view label, SettingPage page,
                          SettingKind kind) {
    SettingDef d{};
    d.name = name;
    d.label = label;
    d.page = page;
    d.kind = kind;
    return d;
}

// Where a setting's current value sits in the control reply: the codec's layout entry.
constexpr const ControlField& At(int ControlReply::*member) {
    return ControlFieldOf(member);
}
// A setting the control reply does not report.
constexpr ControlField kNowhere{nullptr, 0, 0};

constexpr SettingDef Toggle(std::string_view name, std::string_view label, SettingPage page,
                            const ControlField& field, std::string_view on, std::string_view off,
                            bool inverted = false) {
    SettingDef d = Base(name, label, page, SettingKind::Toggle);
    d.offset = field.offset;
    d.width = field.width;
    d.inverted = inverted;
    d.onCode = on;
    d.offCode = off;
    return d;
}

constexpr SettingDef Choice(std::string_view name, std::string_view label, SettingPage page,
                            const ControlField& field, OptionTable options,
                            ChoiceKey key = ChoiceKey::Index) {
    SettingDef d = Base(name, label, page, SettingKind::Choice);
    d.offset = field.offset;
    d.width = field.width;
    d.options = options;
    d.key = key;
    return d;
}

constexpr SettingDef Number(std::string_view name, std::string_view label, SettingPage page,
                            const ControlField& field, int low, int high, std::string_view prefix,
                            int step = 1) {
    SettingDef d = Base(name, label, page, SettingKind::Number);
    d.offset = field.offset;
    d.width = field.width;
    d.low = low;
    d.high = high;
    d.step = step;
    d.prefix = prefix;
    return d;
}

constexpr SettingDef Action(std::string_view name, std::string_view label, SettingPage page,
                            std::string_view code) {
    SettingDef d = Base(name, label, page, SettingKind::Action);
    d.onCode = code;
    return d;
}

constexpr SettingDef OfferedBy(SettingDef d, std::optional<bool> (*offers)(std::string_view)) {
    d.offeredBy = offers;
    return d;
}

constexpr SettingDef Text(std::string_view name, std::string_view label, SettingPage page,
                          std::string_view prefix, size_t width) {
    SettingDef d = Base(name, label, page, SettingKind::Text);
    d.prefix = prefix;
    d.textWidth = width;
    return d;
}

constexpr SettingDef WithOtherLists(SettingDef d, std::span<const OptionTable> lists) {
    d.otherLists = lists;
    return d;
}

constexpr SettingDef Unreported(SettingDef d) {
    d.offset = 0;
    d.width = 0;
    return d;
}

constexpr SettingDef WithForms(SettingDef d, ValueForm upDown, ValueForm set) {
    d.form = upDown;
    d.setForm = set;
    return d;
}

constexpr SettingDef GroupVariant(SettingDef d) {
    d.groupVariant = true;
    return d;
}

// The power row's commands switch out of a state: row 0 (off) holds the power-on command.
constexpr std::string_view kPowerOnCode = option_rows::kPower[0].command;
constexpr std::string_view kPowerOffCode = option_rows::kPower[1].command;

constexpr std::array kSettings = {
    // Projector page
    Toggle("power", "Power", Projector, At(&ControlReply::power), kPowerOnCode, kPowerOffCode),
    Choice("source", "Source:", Projector, At(&ControlReply::sourceCode), kSourceTable,
           ChoiceKey::Code),
    Action("resync", "Resync", Projector, "~0001 1"),
    Toggle("source-lock", "Source lock", Projector, At(&ControlReply::sourceLock), "~00100 1",
           "~00100 0"),
    Toggle("freeze", "Freeze image", Projector, At(&ControlReply::freeze), "~0004 1", "~0004 0"),
    Toggle("av-mute", "AV mute", Projector, At(&ControlReply::avMute), "~0002 1", "~0002 0"),
    Toggle("direct-power", "DirectPower", Projector, At(&ControlReply::directPower), "~00105 1",
           "~00105 0"),
    OfferedBy(Toggle("auto-keystone", "Auto Keystone", Projector, At(&ControlReply::autoKeystone),
                     "~0069 1", "~0069 0"),
              OffersAutoKeystone),
    Number("auto-power-off", "Auto power off:", Projector, At(&ControlReply::autoPowerOff), 0, 180,
           "~00106 ", 5),
    Number("volume", "Volume:", Projector, At(&ControlReply::volume), 0, 10, "~0081 "),
    // Image page. The display mode is reported by code: list A's modes and list C's 3D; the
    // page's lists B and C name some of them differently ("User").
    WithOtherLists(
        Choice("display-mode", "Display mode:", Image, At(&ControlReply::displayModeCode),
               kDisplayModeReportedTable, ChoiceKey::Code),
        kDisplayModeOtherLists),
    Number("brightness", "Brightness:", Image, At(&ControlReply::brightness), 0, 100, "~0021 "),
    Number("contrast", "Contrast:", Image, At(&ControlReply::contrast), 0, 100, "~0022 "),
    Number("sharpness", "Sharpness:", Image, At(&ControlReply::sharpness), 0, 31, "~0023 "),
    Number("brilliant-color", "BrilliantColor:", Image, At(&ControlReply::brilliantColor), 0, 10,
           "~0034 "),
    Number("phase", "Phase:", Image, At(&ControlReply::phase), 0, 31, "~0074 "),
    Choice("degamma", "Degamma:", Image, At(&ControlReply::degamma), kDegammaTable),
    Choice("color-temperature", "Color temperature:", Image, At(&ControlReply::colorTemperature),
           kColorTemperatureTable),
    Choice("color-space", "Color Space:", Image, At(&ControlReply::colorSpace), kColorSpaceTable),
    OfferedBy(Choice("closed-captioning", "Closed Captioning:", Image,
                     At(&ControlReply::closedCaptioning), kClosedCaptioningTable),
              OffersClosedCaptioning),
    // Display page
    Choice("projection", "Projection:", Display, At(&ControlReply::projection), kProjectionTable),
    Choice("display-format", "Display Format:", Display, At(&ControlReply::displayFormat),
           kDisplayFormatTable),
    Number("zoom", "Zoom:", Display, At(&ControlReply::zoom), -5, 25, "~0062 "),
    Number("image-shift", "V. img shift:", Display, At(&ControlReply::imageShift), -50, 50,
           "~0064 "),
    Number("keystone", "V. keystone:", Display, At(&ControlReply::keystone), -40, 40, "~0066 "),
    // Setting page
    Choice("background-color", "Background color:", Setting, At(&ControlReply::backgroundColor),
           kBackgroundColorTable),
    Choice("logo", "Logo:", Setting, At(&ControlReply::logo), kLogoTable),
    Text("display-message", "Display Message:", Setting, kDisplayMessagePrefix,
         kDisplayMessageWidth),
    Toggle("bright-mode", "Bright mode", Setting, At(&ControlReply::brightMode),
           option_rows::kBrightMode[1].command, option_rows::kBrightMode[0].command),
    Toggle("information-hide", "Information Hide", Setting, At(&ControlReply::informationHide),
           "~00102 1", "~00102 0", true),
    Toggle("high-altitude", "High altitude", Setting, At(&ControlReply::highAltitude), "~00101 1",
           "~00101 0"),
    Toggle("keypad-lock", "Keypad lock", Setting, At(&ControlReply::keypadLock), "~00103 1",
           "~00103 0"),
    Number("projector-id", "Projector ID:", Setting, At(&ControlReply::projectorId), 0, 99,
           "~0079 "),
    Number("sleep-timer", "Sleep Timer:", Setting, At(&ControlReply::sleepTimer), 0, 999, "~00107 ",
           5),
    Action("reset-all", "Reset all", Setting, "~00112 1"),
    // Group dialog's Projector page: what the projector page does not offer. Its other
    // controls are the projector page's settings above (same codes and ranges).
    Toggle("three-d", "3D", Group, At(&ControlReply::threeD), "~0090 1", "~0090 0"),
    Unreported(
        Toggle("three-d-sync-invert", "3D Sync Invert", Group, kNowhere, "~0091 1", "~0091 0")),
    // The group form reaches 15; its up-down writes the value right-aligned, "Set" with
    // leading zeros.
    GroupVariant(WithForms(
        Number("group-volume", "Volume:", Group, At(&ControlReply::volume), 0, 15, "~0081 "),
        ValueForm::RightAligned3, ValueForm::ZeroPadded3)),
};

}  // namespace

std::span<const SettingDef> AllSettings() {
    return kSettings;
}

const SettingDef* FindSetting(std::string_view name) {
    for (const SettingDef& def : kSettings) {
        if (def.name == name)
            return &def;
    }
    return nullptr;
}

const SettingDef& Setting(std::string_view name) {
    const SettingDef* def = FindSetting(name);
    if (!def)
        std::abort();
    return *def;
}

int ReportedValue(const SettingDef& def, std::string_view controlReply) {
    return IntAt(controlReply, def.offset, def.width);
}

bool IsReported(const SettingDef& def, std::string_view controlReply) {
    if (def.width == 0 || controlReply.size() < def.offset + def.width)
        return false;
    std::string_view field = FieldAt(controlReply, def.offset, def.width);
    // As the leading-digits conversion reads it: white space, a sign, then a digit.
    while (!field.empty() &&
           (field.front() == ' ' || (field.front() >= '\t' && field.front() <= '\r')))
        field.remove_prefix(1);
    if (!field.empty() && (field.front() == '+' || field.front() == '-'))
        field.remove_prefix(1);
    return !field.empty() && field.front() >= '0' && field.front() <= '9';
}

std::optional<int> ReportedNumber(const SettingDef& def, std::string_view controlReply) {
    if (!IsReported(def, controlReply))
        return std::nullopt;
    return ReportedValue(def, controlReply);
}

std::optional<int> CurrentValue(const SettingDef& def, std::string_view controlReply) {
    const std::optional<int> number = ReportedNumber(def, controlReply);
    if (!number)
        return std::nullopt;
    const int reported = *number;
    switch (def.kind) {
        case SettingKind::Toggle:
            return (reported != 0) != def.inverted ? 1 : 0;
        case SettingKind::Choice: {
            const int position =
                def.key == ChoiceKey::Code ? PositionOfCode(def.options, reported) : reported;
            return position >= 0 && position < RowCount(def.options) ? position : -1;
        }
        case SettingKind::Number:
            return reported;
        case SettingKind::Text:
        case SettingKind::Action:
            break;
    }
    return std::nullopt;
}

bool InRange(const SettingDef& def, int value) {
    switch (def.kind) {
        case SettingKind::Toggle:
            return value == 0 || value == 1;
        case SettingKind::Choice:
            return value >= 0 && value < RowCount(def.options);
        case SettingKind::Number:
            return value >= def.low && value <= def.high;
        case SettingKind::Text:
        case SettingKind::Action:
            break;
    }
    return false;
}

std::optional<std::string> BuildSettingBody(const SettingDef& def, int value) {
    if (!InRange(def, value))
        return std::nullopt;
    switch (def.kind) {
        case SettingKind::Toggle:
            return BuildCommand(value ? def.onCode : def.offCode);
        case SettingKind::Choice:
            return BuildCommand(CommandAt(def.options, value));
        case SettingKind::Number:
            return BuildValueCommand(def.prefix, value, def.form);
        case SettingKind::Text:
        case SettingKind::Action:
            break;
    }
    return std::nullopt;
}

std::optional<std::string> BuildSetButtonBody(const SettingDef& def, int value) {
    if (def.kind != SettingKind::Number || !InRange(def, value))
        return std::nullopt;
    return BuildValueCommand(def.prefix, value, def.setForm.value_or(def.form));
}

std::optional<int> ChoiceRowByLabel(const SettingDef& def, std::string_view label) {
    const auto same = [](std::string_view a, std::string_view b) {
        return a.size() == b.size() &&
               std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
                   return std::tolower(static_cast<unsigned char>(x)) ==
                          std::tolower(static_cast<unsigned char>(y));
               });
    };
    for (int i = 0; i < RowCount(def.options); ++i) {
        if (same(LabelAt(def.options, i), label))
            return i;
    }
    for (OptionTable list : def.otherLists) {
        for (int r = 0; r < RowCount(list); ++r) {
            if (!same(LabelAt(list, r), label))
                continue;
            for (int i = 0; i < RowCount(def.options); ++i) {
                if (CommandAt(def.options, i) == CommandAt(list, r))
                    return i;
            }
        }
    }
    return std::nullopt;
}

std::string RangeMessage(int low, int high) {
    return "Please enter an integer between " + std::to_string(low) + " and " +
           std::to_string(high) + ".";
}

std::string BuildTextSettingBody(const SettingDef& def, std::string_view text) {
    return BuildCommand(std::string(def.prefix) + PadField(text, def.textWidth));
}

std::string BuildActionBody(const SettingDef& def) {
    return BuildCommand(def.onCode);
}

std::optional<OptionTable> DisplayModeListFor(std::string_view model, int threeD) {
    if (model.size() != 1)
        return std::nullopt;
    switch (model.front()) {
        case '1':
        case '2':
        case '4':
            return kDisplayModeListA;
        case '5':
        case '6':
        case '7':
            if (threeD == 1)
                return kDisplayModeListC;
            if (threeD == 0)
                return model == "5" ? kDisplayModeListA : kDisplayModeListB;
            return std::nullopt;
        default:
            return std::nullopt;
    }
}

std::optional<bool> OffersClosedCaptioning(std::string_view model) {
    if (model.size() != 1)
        return std::nullopt;
    switch (model.front()) {
        case '1':
        case '5':
            return false;
        case '2':
        case '4':
        case '6':
        case '7':
            return true;
        default:
            return std::nullopt;
    }
}

std::optional<bool> OffersAutoKeystone(std::string_view model) {
    if (model.size() != 1)
        return std::nullopt;
    switch (model.front()) {
        case '1':
        case '2':
        case '5':
            return false;
        case '4':
        case '6':
        case '7':
            return true;
        default:
            return std::nullopt;
    }
}

}  // namespace vistrel
