#include "protocol/option_tables.h"

namespace vistrel {

namespace {

template <typename Table>
bool InTable(Table table, int position) {
    return position >= 0 && static_cast<size_t>(position) < table.size();
}

}  // namespace

std::string_view LabelByCode(OptionTable table, int32_t code) {
    for (const OptionRow& row : table) {
        if (row.code == code)
            return row.label;
    }
    return {};
}

int PositionOfCode(OptionTable table, int32_t code) {
    int position = 0;
    for (const OptionRow& row : table) {
        if (row.code == code)
            return position;
        ++position;
    }
    return position;
}

std::string_view CommandAt(OptionTable table, int position) {
    return InTable(table, position) ? table[static_cast<size_t>(position)].command
                                    : std::string_view{};
}

std::string_view CommandAt(TaskCommandTable table, int position) {
    return InTable(table, position) ? table[static_cast<size_t>(position)].command
                                    : std::string_view{};
}

std::string_view LabelAt(OptionTable table, int position) {
    return InTable(table, position) ? table[static_cast<size_t>(position)].label
                                    : std::string_view{};
}

std::string_view LabelAt(TaskCommandTable table, int position) {
    return InTable(table, position) ? table[static_cast<size_t>(position)].label
                                    : std::string_view{};
}

int RowCount(OptionTable table) {
    return static_cast<int>(table.size());
}

int RowCount(TaskCommandTable table) {
    return static_cast<int>(table.size());
}

}  // namespace vistrel
