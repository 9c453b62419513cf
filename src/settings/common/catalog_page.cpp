#include "settings/common/catalog_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "controls/set_button.h"
#include "protocol/codec.h"
#include "protocol/setting_catalog.h"
#include "settings/common/settings_frame.h"
#include "settings/common/up_down.h"

namespace vistrel {

CCatalogPage::CCatalogPage(SettingsFrame& frame, QWidget* frameWidget, QWidget* parent,
                           const std::vector<int>& fullGroup)
    : CSettingsPage(frame, frameWidget, parent), fullGroup_(fullGroup) {
    dropRefresh_.setSingleShot(true);
    dropRefresh_.setInterval(0);
    connect(&dropRefresh_, &QTimer::timeout, this, [this] {
        if (SettingsFrame* frame = Frame())
            frame->QueryControl();
    });
}

// --- building ---------------------------------------------------------------------------------

QComboBox* CCatalogPage::AddList(const SettingDef* def, OptionTable table, int id, int* member) {
    auto* list = Control<QComboBox>(id);
    FillList(*list, table);
    const ChoiceList& choice = lists_.emplace_back(ChoiceList{def, table, list, member});
    // Only the operator's choice sends; a reply filling the list does not.
    connect(list, &QComboBox::activated, this, [this, &choice](int) { OnListChosen(choice); });
    return list;
}

QCheckBox* CCatalogPage::AddToggle(const SettingDef& def, int id, int* member) {
    auto* box = Control<QCheckBox>(id, QString::fromLatin1(def.label));
    const Toggle& toggle = toggles_.emplace_back(Toggle{&def, box, member});
    connect(box, &QCheckBox::clicked, this, [this, &toggle] { OnToggleClicked(toggle); });
    return box;
}

NumberField CCatalogPage::AddNumber(const SettingDef& def, int editId, int upDownId, int setId,
                                    int* member) {
    const NumberField field = MakeNumberField(editId, upDownId, setId, def.low, def.high);
    const NumberSetting& setting = numbers_.emplace_back(NumberSetting{&def, field, member});
    field.upDown->setDeltaHandler([this, &setting](int delta) { return OnUpDown(setting, delta); });
    connect(field.set, &QPushButton::clicked, this, [this, &setting] { OnSet(setting); });
    return field;
}

namespace {

constexpr int kCaptionX = 12;
constexpr int kFieldX = 130;

}  // namespace

int CCatalogPage::AddListRows(std::span<const ListRow> rows, int y, RowLayout layout) {
    for (const ListRow& row : rows) {
        const SettingDef& def = Setting(row.name);
        Caption(this, QString::fromLatin1(def.label), kCaptionX, y, layout.captionWidth);
        AddList(&def, def.options, row.id, row.member)
            ->setGeometry(kFieldX, y, layout.listWidth, 24);
        y += kRowStep;
    }
    return y;
}

int CCatalogPage::AddNumberRows(std::span<const NumberRow> rows, int y, RowLayout layout) {
    for (const NumberRow& row : rows) {
        const SettingDef& def = Setting(row.name);
        Caption(this, QString::fromLatin1(def.label), kCaptionX, y, layout.captionWidth);
        PlaceNumberField(AddNumber(def, row.edit, row.upDown, row.set, row.member), kFieldX, y);
        y += kRowStep;
    }
    return y;
}

// --- data exchange ----------------------------------------------------------------------------

void CCatalogPage::ReadChoices() {
    for (const ChoiceList& choice : lists_)
        *choice.member = choice.list->currentIndex();
    for (const Toggle& toggle : toggles_)
        *toggle.member = toggle.box->isChecked() ? 1 : 0;
}

void CCatalogPage::WriteControls() {
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
    for (const NumberSetting& setting : numbers_) {
        const bool known = reported_.contains(setting.member);
        setting.field.edit->setText(known ? QString::number(*setting.member) : QString());
        if (!known) {
            for (QWidget* part : {static_cast<QWidget*>(setting.field.edit),
                                  static_cast<QWidget*>(setting.field.upDown),
                                  static_cast<QWidget*>(setting.field.set)}) {
                if (part)
                    part->setEnabled(false);
            }
        }
    }
}

void CCatalogPage::TakeReportedValues(const std::string& reply) {
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
    for (const NumberSetting& setting : numbers_)
        take(*setting.def, setting.member);
}

void CCatalogPage::SetAllEnabled(bool enabled) {
    SetControlsEnabled(*this, fullGroup_, enabled);
}

std::optional<ControlReply> CCatalogPage::EnableForPower(const std::string& reply) {
    const ControlReply control = ReadControlReply(reply);
    SetAllEnabled(control.power != 0);
    if (control.power == 0)
        return std::nullopt;
    return control;
}

// --- commands ---------------------------------------------------------------------------------

void CCatalogPage::OnListChosen(const ChoiceList& choice) {
    ReadChoices();
    const std::string_view code = CommandAt(choice.table, *choice.member);
    if (!code.empty())
        Send(BuildCommand(code));
}

void CCatalogPage::OnToggleClicked(const Toggle& toggle) {
    ReadChoices();
    if (auto body = BuildSettingBody(*toggle.def, *toggle.member))
        Send(*body);
    // Until the projector answers, the box shows a wish, not a state.
    toggle.box->setEnabled(false);
}

int CCatalogPage::OnUpDown(const NumberSetting& setting, int delta) {
    ReadChoices();
    return StepNumberField(*setting.field.edit, *setting.def, *setting.member, delta,
                           [this, &setting](int value) {
                               if (auto body = BuildSettingBody(*setting.def, value))
                                   Send(*body);
                           });
}

void CCatalogPage::OnSet(const NumberSetting& setting) {
    // The button reads its own field only: a bad number in another field is that field's
    // business when its own button is pressed.
    ReadChoices();
    if (!ReadInt(setting.field.edit, setting.def->low, setting.def->high, *setting.member))
        return;
    if (auto body = BuildSettingBody(*setting.def, *setting.member))
        Send(*body);
}

// --- the page's own replies -------------------------------------------------------------------

const CCatalogPage::Toggle* CCatalogPage::ToggleOfBody(const std::string& body,
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

void CCatalogPage::SettleToggle(const Toggle& toggle, int value) {
    *toggle.member = value;
    toggle.box->setChecked(value != 0);
    toggle.box->setEnabled(true);
}

void CCatalogPage::OnReply(const MsgCmd& slot) {
    if (BeginsWithOk(slot.reply))
        return;
    ReportFailure(slot);
    SetAllEnabled(false);
    RequestFreshState();
}

void CCatalogPage::OnDropped(const std::string& body) {
    int sent = 0;
    if (const Toggle* toggle = ToggleOfBody(body, &sent))
        SettleToggle(*toggle, 1 - sent);
    dropRefresh_.start();
}

}  // namespace vistrel
