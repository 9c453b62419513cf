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
    : CProjectorPage(frame, frameWidget, parent), fullGroup_(fullGroup) {
    bindings_ = new CatalogBindings(
        *this, [this](const std::string& body, const SettingDef* def, QWidget* control) {
            Send(body);
            // Until the projector answers, a check box shows a wish, not a state.
            if (def && def->kind == SettingKind::Toggle)
                control->setEnabled(false);
        });
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
    bindings_->AddList(def, table, list, member);
    return list;
}

QCheckBox* CCatalogPage::AddToggle(const SettingDef& def, int id, int* member) {
    auto* box = Control<QCheckBox>(id, QString::fromLatin1(def.label));
    bindings_->AddToggle(def, box, member);
    return box;
}

NumberField CCatalogPage::AddNumber(const SettingDef& def, int editId, int upDownId, int setId,
                                    int* member) {
    const NumberField field = MakeNumberField(editId, upDownId, setId, def.low, def.high);
    bindings_->AddNumber(def, field, member);
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

// --- enabling ---------------------------------------------------------------------------------

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

// --- the page's own replies -------------------------------------------------------------------

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
