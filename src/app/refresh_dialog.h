// "Set Interval": the period of the discovery cycle in seconds, typed or stepped with the
// up-down arrows (0 to 600). Text that is not an unsigned integer is refused with the dialog
// left open.
#pragma once

#include <QDialog>
#include <cstdint>

class QLineEdit;
class QToolButton;

namespace vistrel {

class CRefreshDlg : public QDialog {
    Q_OBJECT
  public:
    static constexpr uint32_t kStepMin = 0;
    static constexpr uint32_t kStepMax = 600;
    // The largest number of seconds whose milliseconds a timer can hold.
    static constexpr uint32_t kSecondsLimit = 2147483;

    // `intervalMs`: the current refresh interval.
    explicit CRefreshDlg(uint32_t intervalMs, QWidget* parent = nullptr);

    uint32_t seconds;  // edit 1016

    QLineEdit* SecondsEdit() const { return edit_; }
    // The up-down control 1018.
    void StepUp();
    void StepDown();

    // The number an edit text holds as the dialog reads it, or -1 when it is not one.
    static int64_t ParseSeconds(const QString& text);

  public slots:
    void accept() override;

  protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Step(int delta);

    QLineEdit* edit_ = nullptr;
    QToolButton* up_ = nullptr;
    QToolButton* down_ = nullptr;
};

}  // namespace vistrel
