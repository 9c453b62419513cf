// The up-down arrows beside a numeric edit. Each click asks the page first (the page may
// send the new value, or change the step), then moves the edit's number by the step it was
// given, never beyond the range.
#pragma once

#include <QWidget>
#include <functional>

class QLineEdit;
class QToolButton;

namespace vistrel {

struct SettingDef;

// One click of a numeric field's arrow, the rule every settings page follows. The arrow
// starts from the typed number when it lies within the setting's range, otherwise from
// `held` (the value the page holds, which the field then shows again); it moves by the
// setting's step (or `step` when given). A new value within the range goes to `send`, and the
// returned delta moves the field there. At the range end nothing is sent, no
// message is shown, and 0 is returned: the arrow does nothing.
int StepNumberField(QLineEdit& edit, const SettingDef& def, int& held, int delta,
                    const std::function<void(int value)>& send, int step = 0);

class CUpDown : public QWidget {
    Q_OBJECT
  public:
    // Called with the click's delta (+1 up, -1 down) before the position moves; returns the
    // delta to move by.
    using DeltaHandler = std::function<int(int delta)>;

    explicit CUpDown(QWidget* parent = nullptr);

    void setBuddy(QLineEdit* buddy) { buddy_ = buddy; }
    void setRange(int low, int high);
    int lower() const { return low_; }
    int upper() const { return high_; }
    void setDeltaHandler(DeltaHandler handler) { handler_ = std::move(handler); }

    // The position: the buddy's number when it holds one, clamped to the range.
    int position() const;
    void setPosition(int value);

    // One click of an arrow (+1 up, -1 down), as the mouse does it.
    void Step(int delta);

    QToolButton* upButton() const { return up_; }
    QToolButton* downButton() const { return down_; }

  private:
    QLineEdit* buddy_ = nullptr;
    QToolButton* up_;
    QToolButton* down_;
    DeltaHandler handler_;
    int low_ = 0;
    int high_ = 100;
    int position_ = 0;
};

}  // namespace vistrel
