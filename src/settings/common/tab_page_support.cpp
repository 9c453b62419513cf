#include "settings/common/tab_page_support.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include "controls/set_button.h"
#include "protocol/wire_fields.h"
#include "settings/common/field_width.h"
#include "settings/common/up_down.h"

namespace vistrel {

void SetControlsEnabled(const QWidget& page, const std::vector<int>& ids, bool enabled) {
    for (int id : ids) {
        if (auto* widget = page.findChild<QWidget*>(ControlName(id)))
            widget->setEnabled(enabled);
    }
}

void SetControlsVisible(const QWidget& page, const std::vector<int>& ids, bool visible) {
    for (int id : ids) {
        if (auto* widget = page.findChild<QWidget*>(ControlName(id)))
            widget->setVisible(visible);
    }
}

void FillList(QComboBox& list, OptionTable table) {
    for (int i = 0; i < RowCount(table); ++i)
        list.addItem(QString::fromLatin1(LabelAt(table, i)));
    list.setCurrentIndex(-1);
}

void SelectRow(QComboBox& list, int index) {
    list.setCurrentIndex(index >= 0 && index < list.count() ? index : -1);
}

int NumberIn(const QLineEdit& edit, int fallback) {
    bool ok = false;
    const int value = edit.text().trimmed().toInt(&ok);
    return ok ? value : fallback;
}

std::string TextOf(const QLineEdit& edit) {
    return edit.text().toStdString();
}

QLabel* Caption(QWidget* page, const QString& text, int x, int y, int width) {
    auto* label = new QLabel(text, page);
    label->setGeometry(x, y, width, 22);
    return label;
}

QLineEdit* NameRow(QWidget* page, const QString& caption, int id, int y) {
    Caption(page, caption, 12, y, 100);
    auto* edit = new QLineEdit(page);
    edit->setObjectName(ControlName(id));
    LimitToProjectorField(edit, kTextFieldWidth);
    edit->setGeometry(116, y, 220, 22);
    return edit;
}

void PlaceNumberField(const NumberField& field, int x, int y) {
    field.edit->setGeometry(x, y, 48, 22);
    if (field.upDown)
        field.upDown->setGeometry(x + 48, y, 16, 22);
    if (field.set)
        field.set->setGeometry(x + 68, y + 1, 22, 20);
}

}  // namespace vistrel
