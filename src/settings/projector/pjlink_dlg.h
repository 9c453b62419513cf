// The settings dialog of a PJLink projector: the frame of the projector dialog with one page
// (power, input, AV mute, freeze and volume, hours, error states, identity); the other side
// buttons are disabled, PJLink has nothing for them. Every exchange goes through the PJLink
// monitor's engine; answers come back to the window's thread, so nothing here ever waits.
#pragma once

#include <QDialog>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "pjlink/pjlink_codec.h"
#include "pjlink/pjlink_engine.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;

namespace vistrel {

namespace pjlink {
class Monitor;
}

class CStaticText;

class CPjlinkDlg : public QDialog {
    Q_OBJECT
  public:
    // The AV mute choices, in the list's order.
    enum MuteChoice { kMuteOff = 0, kMuteVideo, kMuteAudio, kMuteBoth };

    CPjlinkDlg(QWidget* owner, pjlink::Monitor& monitor, const std::string& ip,
               const std::string& groupName, const std::string& projectorName);
    ~CPjlinkDlg() override;

    // Asks the projector everything afresh; the page follows when the answer comes.
    void Refresh();

    // Keeps this projector's own password (empty: none, the fleet's applies); false with
    // `error` when it cannot. Installed by the console; without it there is no Password
    // button.
    using PasswordSetter = std::function<bool(const std::string& password, std::string* error)>;
    void SetPasswordSetter(PasswordSetter setter);
    // What the Password button does once the operator has typed one: keeps it and asks again.
    bool SetPassword(const QString& password);

    // What the page shows: the last full answer (empty until one came).
    const pjlink::Status& status() const { return status_; }
    bool answered() const { return answered_; }
    // Exchanges not yet answered.
    int pending() const { return pending_; }

    QLabel* StatusLine() const { return statusLine_; }
    QLabel* NoticeLine() const { return notice_; }
    QLabel* PowerState() const { return powerState_; }
    QPushButton* PowerOnButton() const { return powerOn_; }
    QPushButton* PowerOffButton() const { return powerOff_; }
    QComboBox* InputList() const { return input_; }
    QComboBox* AvMuteList() const { return avMute_; }
    QCheckBox* FreezeBox() const { return freeze_; }
    // Speaker and microphone volume, down and up.
    QPushButton* VolumeButton(bool microphone, bool up) const;
    QPushButton* RefreshButton() const { return refresh_; }
    QPushButton* PasswordButton() const { return password_; }
    QLabel* LampLine() const { return lamps_; }
    QLabel* FilterLine() const { return filter_; }
    QLabel* ErrorState(int item) const { return errors_[static_cast<size_t>(item)]; }
    // Maker, model, serial number, software version.
    QLabel* IdentityValue(int row) const { return identity_[static_cast<size_t>(row)]; }
    QPushButton* SideButton(int id) const;

  signals:
    // An answer (or the failure to get one) has been shown.
    void refreshed();

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    class Relay;
    void BuildControls();
    void BuildHeader(const std::string& groupName, const std::string& projectorName);
    // Sends command lines; `what` names them in the notice when the projector says no.
    void SendCommand(std::vector<std::string> lines, const QString& what);
    void OnQuery(pjlink::Failure failure, const pjlink::Status& status);
    void ShowStatus();
    void UpdateBusy();

    pjlink::Monitor& monitor_;
    std::string ip_;
    std::shared_ptr<Relay> relay_;
    pjlink::Status status_;
    bool answered_ = false;
    pjlink::Failure lastFailure_ = pjlink::Failure::None;
    int pending_ = 0;
    QTimer follow_;  // while warming up or cooling down, the state is asked again

    CStaticText* nameValue_ = nullptr;
    QLabel* statusLine_ = nullptr;
    QLabel* notice_ = nullptr;
    QLabel* powerState_ = nullptr;
    QPushButton* powerOn_ = nullptr;
    QPushButton* powerOff_ = nullptr;
    QComboBox* input_ = nullptr;
    QComboBox* avMute_ = nullptr;
    QCheckBox* freeze_ = nullptr;
    std::array<QPushButton*, 4> volume_{};  // speaker down, up, microphone down, up
    QLabel* classNote_ = nullptr;
    QLabel* lamps_ = nullptr;
    QLabel* filter_ = nullptr;
    std::array<QLabel*, pjlink::kErrorItems> errors_{};
    std::array<QLabel*, 4> identity_{};
    QPushButton* refresh_ = nullptr;
    QPushButton* password_ = nullptr;
    PasswordSetter setPassword_;
};

}  // namespace vistrel
