// The base of the projector dialog's tabs whose controls are catalogue settings (Projector,
// Image, Display, Setting): drop-down lists, check boxes and numeric fields, each bound to a
// page member through CatalogBindings, which turns a control into a command. This base sends
// what the bindings ask through the ring and reads the controls from the control reply:
//   - a check box waits, disabled, for the reply;
//   - a command without an OK reply is reported, disables the page and asks for fresh state;
//   - a dropped check box is given back as it was, and a control refresh follows.
// A page builds its controls with AddList / AddToggle / AddNumber, places them, and keeps
// its own enabling rules and anything that is not a catalogue setting.
#pragma once

#include <QTimer>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "protocol/codec.h"
#include "protocol/option_tables.h"
#include "settings/common/catalog_bindings.h"
#include "settings/common/tab_page_support.h"

class QCheckBox;
class QComboBox;

namespace vistrel {

class CCatalogPage : public CProjectorPage {
    Q_OBJECT
  public:
    // `fullGroup`: the ids of every control the page disables when the projector cannot be
    // changed (off, or after a failed command).
    CCatalogPage(SettingsFrame& frame, QWidget* frameWidget, QWidget* parent,
                 const std::vector<int>& fullGroup);

  protected:
    using Toggle = CatalogBindings::Toggle;

    // Each adds the control with its id, fills it, binds it to `member` and connects it.
    QComboBox* AddList(const SettingDef* def, OptionTable table, int id, int* member);
    QCheckBox* AddToggle(const SettingDef& def, int id, int* member);
    NumberField AddNumber(const SettingDef& def, int editId, int upDownId, int setId, int* member);

    // Rows of the page's first column: the setting's caption at the left edge, its list or
    // numeric field beside it, one row under another from `y`. Each returns the y below its
    // last row.
    struct ListRow {
        const char* name;  // the catalogue setting
        int id;
        int* member;
    };
    struct NumberRow {
        const char* name;
        int edit;
        int upDown;
        int set;
        int* member;
    };
    struct RowLayout {
        int captionWidth;
        int listWidth;
    };
    static constexpr int kRowStep = 36;
    int AddListRows(std::span<const ListRow> rows, int y, RowLayout layout);
    int AddNumberRows(std::span<const NumberRow> rows, int y, RowLayout layout);

    // See CatalogBindings.
    void ReadChoices() { bindings_->ReadChoices(); }
    void WriteControls() { bindings_->WriteControls(); }
    void TakeReportedValues(const std::string& reply) { bindings_->TakeReportedValues(reply); }

    void SetAllEnabled(bool enabled);
    void ShowNotAnswering() override { SetAllEnabled(false); }
    // The first step of every enabling rule: the whole page disabled while the reply says the
    // projector is off (a reply without a power digit, such as a time-out text, says so too),
    // enabled while it is on. The reply's fields for the page's own rules; nullopt when off.
    std::optional<ControlReply> EnableForPower(const std::string& reply);

    const Toggle* ToggleOfBody(const std::string& body, int* sentValue) const {
        return bindings_->ToggleOfBody(body, sentValue);
    }
    static void SettleToggle(const Toggle& toggle, int value) {
        CatalogBindings::SettleToggle(toggle, value);
    }

    // A command without an OK reply is reported, disables the page and asks for fresh state.
    void OnReply(const MsgCmd& slot) override;
    // A dropped check box is given back as it was before the click; one control refresh
    // follows a burst of drops, since the fields may show values the projector never got.
    void OnDropped(const std::string& body) override;

  private:
    const std::vector<int>& fullGroup_;
    CatalogBindings* bindings_ = nullptr;
    QTimer dropRefresh_;
};

}  // namespace vistrel
