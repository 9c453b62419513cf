// The console's vocabulary of projector options: each table pairs what the operator sees
// (a label) with what the projector reports (a numeric code) and what it understands (the
// command code text sent after "command="). Lists are filled from the labels in row order;
// a selected position sends the command of its row.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace vistrel {

struct OptionRow {
    int32_t code;
    std::string_view label;
    std::string_view command;  // may be empty
};

// A table is a view of constant rows; the rows live for the whole program.
using OptionTable = std::span<const OptionRow>;

struct TaskCommandRow {
    std::string_view label;
    std::string_view command;
};

using TaskCommandTable = std::span<const TaskCommandRow>;

// The display-mode code a control reply reports while the 3D mode is on.
inline constexpr int kDisplayMode3dCode = 9;

// The commands that switch a projector on and off.
inline constexpr std::string_view kPowerOnCode = "~0000 1";
inline constexpr std::string_view kPowerOffCode = "~0000 0";
// SchedTask::command: the rows of the task command table.
inline constexpr int32_t kTaskPowerOn = 0;
inline constexpr int32_t kTaskPowerOff = 1;

namespace option_rows {

// The command of a power row switches the projector out of that state.
inline constexpr OptionRow kPower[] = {
    {0, "OFF", kPowerOnCode},
    {1, "ON", kPowerOffCode},
};

inline constexpr OptionRow kBrightMode[] = {
    {0, "STD", "~00110 0"},
    {1, "Bright", "~00110 1"},
};

// Not in code order: lists show rows by position, the info decoder looks up by code.
inline constexpr OptionRow kSource[] = {
    {0, "None", ""},         {5, "HDMI", "~0012 1"},    {1, "VGA-1", "~0012 5"},
    {2, "VGA-2", "~0012 6"}, {3, "S-Video", "~0012 9"}, {4, "Video", "~0012 10"},
};

inline constexpr OptionRow kLogo[] = {
    {0, "Vexora", "~0082 1"},
    {1, "User", "~0082 2"},
};

inline constexpr OptionRow kProjection[] = {
    {0, "Front", "~0071 1"},
    {1, "Front + Ceiling", "~0071 3"},
    {2, "Rear", "~0071 2"},
    {3, "Rear + Ceiling", "~0071 4"},
};

inline constexpr OptionRow kDisplayFormat[] = {
    {0, "4:3", "~0060 1"},    {1, "16:9-I", "~0060 2"}, {2, "16:9-II", "~0060 3"},
    {3, "Native", "~0060 6"}, {4, "Auto", "~0060 7"},
};

inline constexpr OptionRow kColorTemperature[] = {
    {0, "Warm", "~0036 1"},
    {1, "Medium", "~0036 2"},
    {2, "Cold", "~0036 3"},
};

inline constexpr OptionRow kBackgroundColor[] = {
    {0, "Black", "~00104 2"}, {1, "Red", "~00104 3"},   {2, "Blue", "~00104 1"},
    {3, "Green", "~00104 4"}, {4, "White", "~00104 5"},
};

inline constexpr OptionRow kColorSpace[] = {
    {0, "AUTO", "~0037 1"},
    {1, "RGB", "~0037 2"},
    {2, "YUV", "~0037 3"},
};

inline constexpr OptionRow kClosedCaptioning[] = {
    {0, "OFF", "~0088 0"},
    {1, "CC1", "~0088 1"},
    {2, "CC2", "~0088 2"},
};

inline constexpr OptionRow kDegamma[] = {
    {0, "Film", "~0035 1"},
    {1, "Video", "~0035 2"},
    {2, "Graphics", "~0035 3"},
    {3, "PC", "~0035 4"},
};

// Display modes as the info reply reports them. Code 0 ("None") is handled by the decoder.
inline constexpr OptionRow kInfoDisplayMode[] = {
    {1, "Presentation", "~0020 1"}, {2, "Bright", "~0020 2"},    {3, "Movie", "~0020 3"},
    {4, "sRGB", "~0020 4"},         {5, "User-1", "~0020 5"},    {6, "User-2", "~0020 6"},
    {7, "Blackboard", "~0020 7"},   {8, "Classroom", "~0020 8"},
};

// The Image page's three alternative "Display mode:" lists.
inline constexpr OptionRow kDisplayModeListA[] = {
    {1, "Presentation", "~0020 1"}, {2, "Bright", "~0020 2"},    {3, "Movie", "~0020 3"},
    {4, "sRGB", "~0020 4"},         {5, "User-1", "~0020 5"},    {6, "User-2", "~0020 6"},
    {7, "Blackboard", "~0020 7"},   {8, "Classroom", "~0020 8"},
};

inline constexpr OptionRow kDisplayModeListB[] = {
    {1, "Presentation", "~0020 1"}, {2, "Bright", "~0020 2"}, {3, "Movie", "~0020 3"},
    {4, "sRGB", "~0020 4"},         {5, "User", "~0020 5"},   {6, "Blackboard", "~0020 7"},
    {7, "Classroom", "~0020 8"},
};

inline constexpr OptionRow kDisplayModeListC[] = {
    {1, "User", "~0020 5"},
    {2, "3D", "~0020 9"},
};

// Every display mode a control reply reports, keyed by the digit it reports there, which is
// the number of the mode's command "~0020 N": list A's rows, then list C's "3D", which list A
// lacks. Built from the page's lists, so nothing is spelled twice.
inline constexpr std::array<OptionRow, 9> kDisplayModeReported = [] {
    std::array<OptionRow, 9> rows{};
    for (size_t i = 0; i < 8; ++i)
        rows[i] = kDisplayModeListA[i];
    rows[8] = {kDisplayMode3dCode, kDisplayModeListC[1].label, kDisplayModeListC[1].command};
    return rows;
}();

// Indexed by SchedTask::command.
inline constexpr TaskCommandRow kTaskCommand[] = {
    {"Power_On", kPowerOnCode},
    {"Power_Off", kPowerOffCode},
};

}  // namespace option_rows

inline constexpr OptionTable kPowerTable{option_rows::kPower};
inline constexpr OptionTable kBrightModeTable{option_rows::kBrightMode};
inline constexpr OptionTable kSourceTable{option_rows::kSource};
inline constexpr OptionTable kLogoTable{option_rows::kLogo};
inline constexpr OptionTable kProjectionTable{option_rows::kProjection};
inline constexpr OptionTable kDisplayFormatTable{option_rows::kDisplayFormat};
inline constexpr OptionTable kColorTemperatureTable{option_rows::kColorTemperature};
inline constexpr OptionTable kBackgroundColorTable{option_rows::kBackgroundColor};
inline constexpr OptionTable kColorSpaceTable{option_rows::kColorSpace};
inline constexpr OptionTable kClosedCaptioningTable{option_rows::kClosedCaptioning};
inline constexpr OptionTable kDegammaTable{option_rows::kDegamma};
inline constexpr OptionTable kInfoDisplayModeTable{option_rows::kInfoDisplayMode};
inline constexpr OptionTable kDisplayModeListA{option_rows::kDisplayModeListA};
inline constexpr OptionTable kDisplayModeListB{option_rows::kDisplayModeListB};
inline constexpr OptionTable kDisplayModeListC{option_rows::kDisplayModeListC};
inline constexpr OptionTable kDisplayModeReportedTable{option_rows::kDisplayModeReported};
// The lists that some models show instead of list A: their labels name the same commands.
inline constexpr OptionTable kDisplayModeOtherLists[] = {kDisplayModeListB, kDisplayModeListC};
inline constexpr TaskCommandTable kTaskCommandTable{option_rows::kTaskCommand};

// Label of the first row with this code; empty when no row has it.
std::string_view LabelByCode(OptionTable table, int32_t code);

// Position of the first row with this code; RowCount(table) when no row has it.
int PositionOfCode(OptionTable table, int32_t code);

// Command of the row at a position. A position outside the table (for instance -1, "no
// selection") is a caller's error; it yields an empty text rather than undefined behaviour.
std::string_view CommandAt(OptionTable table, int position);
std::string_view CommandAt(TaskCommandTable table, int position);

// Label of the row at a position; empty outside the table.
std::string_view LabelAt(OptionTable table, int position);
std::string_view LabelAt(TaskCommandTable table, int position);

int RowCount(OptionTable table);
int RowCount(TaskCommandTable table);

}  // namespace vistrel
