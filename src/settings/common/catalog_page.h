// The base of the settings tabs whose controls are catalogue settings (Image, Display,
// Setting): drop-down lists, check boxes and numeric fields, each bound to a page member.
// It reads them from the control reply, writes them to the widgets and back, and sends what
// the operator changes with the setting's own code:
//   - a list sends the command of the chosen row;
//   - a check box sends its on or off code and waits, disabled, for the reply;
//   - an up-down sends the value it is about to show (moving by the setting's step); at the
//     range end it does nothing (StepNumberField); a "Set" button sends its own field's
//     typed value after the range check.
// A page builds its controls with AddList / AddToggle / AddNumber, places them, and keeps
// its own enabling rules and anything that is not a catalogue setting.
#pragma once

#include <QTimer>
#include <deque>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "protocol/codec.h"
#include "protocol/option_tables.h"
#include "settings/projector/tab_page_support.h"

class QCheckBox;
class QComboBox;

namespace vistrel {

class CCatalogPage : public CSettingsPage {
    Q_OBJECT
  public:
    // `fullGroup`: the ids of every control the page disables when the projector cannot be
    // changed (off, or after a failed command).
    CCatalogPage(SettingsFrame& frame, QWidget* frameWidget, QWidget* parent,
                 const std::vector<int>& fullGroup);

  protected:
    struct ChoiceList {
        // Read from the control reply; null for a list whose row the page works out itself.
        const SettingDef* def;
        OptionTable table;
        QComboBox* list;
        int* member;
    };
    struct Toggle {
        const SettingDef* def;
        QCheckBox* box;
        int* member;
    };

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

    // The lists and check boxes into their members (nothing to check there). Numbers are
    // read only by their own arrows and "Set" button.
    void ReadChoices();
    // The members into the widgets. A setting no control reply has reported yet shows
    // nothing and stays disabled, so no arrow or box starts from a value nobody reported.
    void WriteControls();
    // Every bound setting the reply reports goes into its member; a field the reply does not
    // carry (cut short, no digits) keeps what the page showed.
    void TakeReportedValues(const std::string& reply);

    void SetAllEnabled(bool enabled);
    void ShowNotAnswering() override { SetAllEnabled(false); }
    // The first step of every enabling rule: the whole page disabled while the reply says the
    // projector is off (a reply without a power digit, such as a time-out text, says so too),
    // enabled while it is on. The reply's fields for the page's own rules; nullopt when off.
    std::optional<ControlReply> EnableForPower(const std::string& reply);

    // The check box that `body` sets, with the value it sent (0 or 1); null for other bodies.
    const Toggle* ToggleOfBody(const std::string& body, int* sentValue) const;
    // Shows `value` in the box and gives the box back to the operator.
    static void SettleToggle(const Toggle& toggle, int value);

    // A command without an OK reply is reported, disables the page and asks for fresh state.
    void OnReply(const MsgCmd& slot) override;
    // A dropped check box is given back as it was before the click; one control refresh
    // follows a burst of drops, since the fields may show values the projector never got.
    void OnDropped(const std::string& body) override;

  private:
    void OnListChosen(const ChoiceList& choice);
    void OnToggleClicked(const Toggle& toggle);
    int OnUpDown(const NumberSetting& setting, int delta);
    void OnSet(const NumberSetting& setting);

    const std::vector<int>& fullGroup_;
    // Deques: the handlers hold references to the entries.
    std::deque<ChoiceList> lists_;
    std::deque<Toggle> toggles_;
    std::deque<NumberSetting> numbers_;
    // Members of the settings some control reply has reported.
    std::set<const int*> reported_;
    QTimer dropRefresh_;
};

}  // namespace vistrel
