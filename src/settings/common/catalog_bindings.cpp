#include "settings/common/catalog_bindings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "controls/set_button.h"
#include "protocol/setting_catalog.h"
#include "settings/common/tab_page_support.h"
#include "settings/common/up_down.h"

namespace vistrel {

CatalogBindings::CatalogBindings(CSettingsPage& page, Sender send)
    : QObject(&page), page_(page), send_(std::move(send)) {}

// --- building ---------------------------------------------------------------------------------

void CatalogBindings::AddList(const SettingDef* def, OptionTable table, QComboBox* list,
                              int* member) {
    FillList(*list, table);
    const ChoiceList& choice = lists_.emplace_back(ChoiceList{def, table, list, member});
    // Only the operator's choice sends; a reply filling the list does not.
    connect(list, &QComboBox::activated, this, [this, &choice](int) { OnListChosen(choice); });
}

void CatalogBindings::AddToggle(const SettingDef& def, QCheckBox* box, int* member) {
    const Toggle& toggle = toggles_.emplace_back(Toggle{&def, box, member});
    connect(box, &QCheckBox::clicked, this, [this, &toggle] { OnToggleClicked(toggle); });
}

void CatalogBindings::AddNumber(const SettingDef& def, const NumberField& field, int* member,
                                int step) {
    const Number& number = numbers_.emplace_back(Number{&def, field, member, step});
    if (field.upDown) {
        field.upDown->setDeltaHandler(
            [this, &number](int delta) { return OnUpDown(number, delta); });
    }
    if (field.set)
        connect(field.set, &QPushButton::clicked, this, [this, &number] { OnSet(number); });
}

// --- data exchange ----------------------------------------------------------------------------

void CatalogBindings::ReadChoices() {
    for (const ChoiceList& choice : lists_)
        *choice.member = choice.list->currentIndex();
    for (const Toggle& toggle : toggles_)
        *toggle.member = toggle.box->isChecked() ? 1 : 0;
}

void CatalogBindings::WriteControls() {
    for (const ChoiceList& choice : lists_) {
        const bool known = !choice.def || reported_.contains(choice.member);
        SelectRow(*choice.list, known ? *choice.member : -1);
        if (!known)
            choice.list->setEnabled(false);
    }
    for (const Toggle& toggle : toggles_) {
        const bool known = reported_.contains(toggle.member);
        toggle.box->setChecked(known && *toggle.member != 0);
        if (!known)
            toggle.box->setEnabled(false);
    }
    for (const Number& number : numbers_) {
        const bool known = reported_.contains(number.member);
        number.field.edit->setText(known ? QString::number(*number.member) : QString());
        if (!known) {
            for (QWidget* part : {static_cast<QWidget*>(number.field.edit),
                                  static_cast<QWidget*>(number.field.upDown),
                                  static_cast<QWidget*>(number.field.set)}) {
                if (part)
                    part->setEnabled(false);
            }
        }
    }
}

void CatalogBindings::TakeReportedValues(const std::string& reply) {
    auto take = [this, &reply](const SettingDef& def, int* member) {
        if (const auto value = CurrentValue(def, reply)) {
            *member = *value;
            reported_.insert(member);
        }
    };
    for (const ChoiceList& choice : lists_) {
        if (choice.def)
            take(*choice.def, choice.member);
    }
    // Toggles as the operator sees them (an inverted one is reported as 0 when on).
    for (const Toggle& toggle : toggles_)
        take(*toggle.def, toggle.member);
    for (const Number& number : numbers_)
        take(*number.def, number.member);
}

// --- commands ---------------------------------------------------------------------------------

void CatalogBindings::OnListChosen(const ChoiceList& choice) {
    ReadChoices();
    send_(BuildCommand(CommandAt(choice.table, *choice.member)), choice.def, choice.list);
}

void CatalogBindings::OnToggleClicked(const Toggle& toggle) {
    ReadChoices();
    if (auto body = BuildSettingBody(*toggle.def, *toggle.member))
        send_(*body, toggle.def, toggle.box);
}

int CatalogBindings::OnUpDown(const Number& number, int delta) {
    ReadChoices();
    return StepNumberField(
        *number.field.edit, *number.def, *number.member, delta,
        [this, &number](int value) {
            if (auto body = BuildSettingBody(*number.def, value))
                send_(*body, number.def, number.field.upDown);
        },
        number.step);
}

void CatalogBindings::OnSet(const Number& number) {
    // The button reads its own field only: a bad number in another field is that field's
    // business when its own button is pressed.
    ReadChoices();
    if (!page_.ReadInt(number.field.edit, number.def->low, number.def->high, *number.member))
        return;
    if (auto body = BuildSetButtonBody(*number.def, *number.member))
        send_(*body, number.def, number.field.set);
}

// --- the page's own replies -------------------------------------------------------------------

const CatalogBindings::Toggle* CatalogBindings::ToggleOfBody(const std::string& body,
                                                             int* sentValue) const {
    for (const Toggle& toggle : toggles_) {
        for (int value : {0, 1}) {
            if (body == BuildSettingBody(*toggle.def, value)) {
                *sentValue = value;
                return &toggle;
            }
        }
    }
    return nullptr;
}

void CatalogBindings::SettleToggle(const Toggle& toggle, int value) {
    *toggle.member = value;
    toggle.box->setChecked(value != 0);
    toggle.box->setEnabled(true);
}

}  // namespace vistrel
