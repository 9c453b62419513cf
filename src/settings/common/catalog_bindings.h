// Catalogue settings bound to a page's controls and members: the one place where a control
// turns into a command. Both the projector dialog's tabs (through CCatalogPage) and the group
// dialog's Projector page use it; the page says how a body travels.
//   - a list sends the command of the chosen row ("command=" alone for a row without one,
//     such as source "None");
//   - a check box sends its on or off code;
//   - an up-down sends the value it is about to show (moving by the setting's step, or the
//     binding's own); at the range end it does nothing (StepNumberField);
//   - a "Set" button sends its own field's typed value after the range check, in the
//     setting's "Set" form.
// Before any of these, every list and check box is read into its member.
#pragma once

#include <QObject>
#include <deque>
#include <functional>
#include <set>
#include <string>

#include "protocol/option_tables.h"
#include "settings/common/settings_page.h"

class QCheckBox;
class QComboBox;

namespace vistrel {

struct SettingDef;

class CatalogBindings : public QObject {
    Q_OBJECT
  public:
    // Sends `body`, which `control` asked for; `def` is its setting (null for a list the page
    // works out itself).
    using Sender =
        std::function<void(const std::string& body, const SettingDef* def, QWidget* control)>;

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
    struct Number {
        const SettingDef* def;
        NumberField field;
        int* member;
        int step;  // 0: the setting's own
    };

    CatalogBindings(CSettingsPage& page, Sender send);

    // Each binds the control to `member` and connects it; the list is filled from `table`.
    // Deques: the handlers hold references to the entries, which must not move.
    void AddList(const SettingDef* def, OptionTable table, QComboBox* list, int* member);
    void AddToggle(const SettingDef& def, QCheckBox* box, int* member);
    // A field without an up-down or "Set" button leaves that part out.
    void AddNumber(const SettingDef& def, const NumberField& field, int* member, int step = 0);

    // The lists and check boxes into their members (nothing to check there). Numbers are
    // read only by their own arrows and "Set" button.
    void ReadChoices();
    // The members into the widgets. A setting no control reply has reported yet shows
    // nothing and stays disabled, so no arrow or box starts from a value nobody reported.
    void WriteControls();
    // Every bound setting the reply reports goes into its member; a field the reply does not
    // carry (cut short, no digits) keeps what the page showed.
    void TakeReportedValues(const std::string& reply);

    // The check box that `body` sets, with the value it sent (0 or 1); null for other bodies.
    const Toggle* ToggleOfBody(const std::string& body, int* sentValue) const;
    // Shows `value` in the box and gives the box back to the operator.
    static void SettleToggle(const Toggle& toggle, int value);

  private:
    void OnListChosen(const ChoiceList& choice);
    void OnToggleClicked(const Toggle& toggle);
    int OnUpDown(const Number& number, int delta);
    void OnSet(const Number& number);

    CSettingsPage& page_;
    Sender send_;
    std::deque<ChoiceList> lists_;
    std::deque<Toggle> toggles_;
    std::deque<Number> numbers_;
    // Members of the settings some control reply has reported.
    std::set<const int*> reported_;
};

}  // namespace vistrel
