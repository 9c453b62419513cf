// Small pieces the Image, Display and Setting tabs share: enabling and showing controls by
// id, filling a list from an option table, and one numeric setting with its edit, up-down
// and "Set" button.
#pragma once

#include <QString>
#include <vector>

#include "protocol/option_tables.h"
#include "settings/common/settings_page.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QWidget;

namespace vistrel {

struct SettingDef;

void SetControlsEnabled(const QWidget& page, const std::vector<int>& ids, bool enabled);
void SetControlsVisible(const QWidget& page, const std::vector<int>& ids, bool visible);

// The labels of `table` in row order; nothing selected.
void FillList(QComboBox& list, OptionTable table);

// Selects `index`, or nothing when it is not a row of the list.
void SelectRow(QComboBox& list, int index);

// The number in `edit`, or `fallback` when it holds none. Used where a click needs only the
// field's own value and must not stop for a message box.
int NumberIn(const QLineEdit& edit, int fallback);

// The UTF-8 text of an edit.
std::string TextOf(const QLineEdit& edit);

// A numeric setting of a page: its catalog entry, its controls and the page member that
// holds its value.
struct NumberSetting {
    const SettingDef* def = nullptr;
    NumberField field;
    int* member = nullptr;
};

// A caption label at a fixed place on a page.
QLabel* Caption(QWidget* page, const QString& text, int x, int y, int width);

// A caption at the left edge and beside it a field for one of the projector's 32-byte names
// (its group or its own), with the control id `id`, in a row at `y`.
QLineEdit* NameRow(QWidget* page, const QString& caption, int id, int y);

// Places an edit, its up-down and its "Set" button in a row starting at (x, y).
void PlaceNumberField(const NumberField& field, int x, int y);

}  // namespace vistrel
