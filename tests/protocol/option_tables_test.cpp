#include "protocol/option_tables.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vistrel {
namespace {

struct Row {
    int32_t code;
    std::string label;
    std::string command;
    bool operator==(const Row&) const = default;
};

std::vector<Row> Rows(OptionTable table) {
    std::vector<Row> rows;
    for (const OptionRow& row : table) {
        rows.push_back({row.code, std::string(row.label), std::string(row.command)});
    }
    return rows;
}

// Every row, in order, as projectors and operators know them; a slip in any text would send a
// wrong command or show a wrong label.
TEST(OptionTables, RowsAreExactAndInOrder) {
    EXPECT_EQ(Rows(kPowerTable), (std::vector<Row>{{0, "OFF", "~0000 1"}, {1, "ON", "~0000 0"}}));
    EXPECT_EQ(Rows(kBrightModeTable),
              (std::vector<Row>{{0, "STD", "~00110 0"}, {1, "Bright", "~00110 1"}}));
    EXPECT_EQ(Rows(kSourceTable), (std::vector<Row>{{0, "None", ""},
                                                    {5, "HDMI", "~0012 1"},
                                                    {1, "VGA-1", "~0012 5"},
                                                    {2, "VGA-2", "~0012 6"},
                                                    {3, "S-Video", "~0012 9"},
                                                    {4, "Video", "~0012 10"}}));
    EXPECT_EQ(Rows(kLogoTable),
              (std::vector<Row>{{0, "Vexora", "~0082 1"}, {1, "User", "~0082 2"}}));
    EXPECT_EQ(Rows(kProjectionTable), (std::vector<Row>{{0, "Front", "~0071 1"},
                                                        {1, "Front + Ceiling", "~0071 3"},
                                                        {2, "Rear", "~0071 2"},
                                                        {3, "Rear + Ceiling", "~0071 4"}}));
    EXPECT_EQ(Rows(kDisplayFormatTable), (std::vector<Row>{{0, "4:3", "~0060 1"},
                                                           {1, "16:9-I", "~0060 2"},
                                                           {2, "16:9-II", "~0060 3"},
                                                           {3, "Native", "~0060 6"},
                                                           {4, "Auto", "~0060 7"}}));
    EXPECT_EQ(Rows(kColorTemperatureTable),
              (std::vector<Row>{
                  {0, "Warm", "~0036 1"}, {1, "Medium", "~0036 2"}, {2, "Cold", "~0036 3"}}));
    EXPECT_EQ(Rows(kBackgroundColorTable), (std::vector<Row>{{0, "Black", "~00104 2"},
                                                             {1, "Red", "~00104 3"},
                                                             {2, "Blue", "~00104 1"},
                                                             {3, "Green", "~00104 4"},
                                                             {4, "White", "~00104 5"}}));
    EXPECT_EQ(
        Rows(kColorSpaceTable),
        (std::vector<Row>{{0, "AUTO", "~0037 1"}, {1, "RGB", "~0037 2"}, {2, "YUV", "~0037 3"}}));
    EXPECT_EQ(
        Rows(kClosedCaptioningTable),
        (std::vector<Row>{{0, "OFF", "~0088 0"}, {1, "CC1", "~0088 1"}, {2, "CC2", "~0088 2"}}));
    EXPECT_EQ(Rows(kDegammaTable), (std::vector<Row>{{0, "Film", "~0035 1"},
                                                     {1, "Video", "~0035 2"},
                                                     {2, "Graphics", "~0035 3"},
                                                     {3, "PC", "~0035 4"}}));
    const std::vector<Row> eightModes{{1, "Presentation", "~0020 1"}, {2, "Bright", "~0020 2"},
                                      {3, "Movie", "~0020 3"},        {4, "sRGB", "~0020 4"},
                                      {5, "User-1", "~0020 5"},       {6, "User-2", "~0020 6"},
                                      {7, "Blackboard", "~0020 7"},   {8, "Classroom", "~0020 8"}};
    EXPECT_EQ(Rows(kInfoDisplayModeTable), eightModes);
    EXPECT_EQ(Rows(kDisplayModeListA), eightModes);
    EXPECT_EQ(Rows(kDisplayModeListB), (std::vector<Row>{{1, "Presentation", "~0020 1"},
                                                         {2, "Bright", "~0020 2"},
                                                         {3, "Movie", "~0020 3"},
                                                         {4, "sRGB", "~0020 4"},
                                                         {5, "User", "~0020 5"},
                                                         {6, "Blackboard", "~0020 7"},
                                                         {7, "Classroom", "~0020 8"}}));
    EXPECT_EQ(Rows(kDisplayModeListC),
              (std::vector<Row>{{1, "User", "~0020 5"}, {2, "3D", "~0020 9"}}));

    ASSERT_EQ(RowCount(kTaskCommandTable), 2);
    EXPECT_EQ(LabelAt(kTaskCommandTable, 0), "Power_On");
    EXPECT_EQ(CommandAt(kTaskCommandTable, 0), "~0000 1");
    EXPECT_EQ(LabelAt(kTaskCommandTable, 1), "Power_Off");
    EXPECT_EQ(CommandAt(kTaskCommandTable, 1), "~0000 0");
}

TEST(OptionTables, LookupByCodeFollowsCodesNotPositions) {
    // The source table is not in code order.
    EXPECT_EQ(LabelByCode(kSourceTable, 5), "HDMI");
    EXPECT_EQ(PositionOfCode(kSourceTable, 5), 1);
    EXPECT_EQ(LabelByCode(kSourceTable, 0), "None");
    EXPECT_EQ(PositionOfCode(kSourceTable, 0), 0);
    EXPECT_EQ(PositionOfCode(kSourceTable, 4), 5);
    EXPECT_EQ(CommandAt(kSourceTable, PositionOfCode(kSourceTable, 1)), "~0012 5");

    // Missing codes: empty label, position of the terminator.
    EXPECT_EQ(LabelByCode(kInfoDisplayModeTable, 9), "");
    EXPECT_EQ(LabelByCode(kInfoDisplayModeTable, 0), "");
    EXPECT_EQ(PositionOfCode(kSourceTable, 7), RowCount(kSourceTable));
    EXPECT_EQ(PositionOfCode(kSourceTable, -1), 6);
    EXPECT_EQ(LabelByCode(kPowerTable, 3), "");
}

TEST(OptionTables, SameLabelInTwoTablesKeepsItsOwnCommand) {
    EXPECT_EQ(CommandAt(kBrightModeTable, PositionOfCode(kBrightModeTable, 1)), "~00110 1");
    EXPECT_EQ(LabelAt(kBrightModeTable, 1), "Bright");
    EXPECT_EQ(CommandAt(kInfoDisplayModeTable, PositionOfCode(kInfoDisplayModeTable, 2)),
              "~0020 2");
    EXPECT_EQ(LabelAt(kInfoDisplayModeTable, 1), "Bright");
}

TEST(OptionTables, PositionsOutsideTheTableYieldEmptyText) {
    // "No selection" (-1) and one past the end must not read outside the rows.
    EXPECT_EQ(CommandAt(kSourceTable, -1), "");
    EXPECT_EQ(CommandAt(kSourceTable, RowCount(kSourceTable)), "");
    EXPECT_EQ(LabelAt(kProjectionTable, 4), "");
    EXPECT_EQ(CommandAt(kTaskCommandTable, 2), "");
    EXPECT_EQ(LabelAt(kTaskCommandTable, -1), "");
    // The "None" source row is inside the table but has no command.
    EXPECT_EQ(CommandAt(kSourceTable, 0), "");
    EXPECT_EQ(RowCount(kSourceTable), 6);
}

}  // namespace
}  // namespace vistrel
