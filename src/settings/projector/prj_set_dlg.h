// The "Projector Setting" dialog: one projector's settings in four tab pages (Projector,
// Image, Display, Setting) and three side pages (Network, Alert, Scheduler). The frame sends
// the queries, routes their replies to the pages by request body, keeps the last control
// reply that the tab pages read, and shows the request queue's status line.
//
// The target lists name the dialog's one projector: every request goes to the ring with
// the empty address. Pages are created by MakeTabPage / MakeSidePage; a page that is not
// built yet (Network, Alert) is a CEmptyPage.
#pragma once

#include <QDialog>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>
#include <string>

#include "protocol/request_ring.h"
#include "settings/common/qt_reply_sink.h"
#include "settings/common/settings_frame.h"

class QButtonGroup;
class QGroupBox;
class QLabel;
class QPushButton;
class QTabWidget;

namespace vistrel {

class RelocationWindow;
class CPagePrj;
class RegStore;
class CSettingsPage;
class CStaticText;

class CPrjSetDlg : public QDialog, public SettingsFrame {
    Q_OBJECT
  public:
    enum TabIndex { kTabProjector = 0, kTabImage, kTabDisplay, kTabSetting, kTabCount };
    enum SideIndex { kSideNetwork = 0, kSideAlert, kSideScheduler, kSideCount };

    // `store` keeps the projector's scheduled tasks (the Scheduler page).
    CPrjSetDlg(QWidget* owner, Console& console, RequestRing& ring, RegStore& store,
               const std::string& ip, const std::string& groupName,
               const std::string& projectorName);
    ~CPrjSetDlg() override;

    // Queries through the ring with the empty address and the frame as owner.
    void QueryModel() override;
    void QueryGroup();
    void QueryInfo();
    void QueryControl() override;
    // Also shows element 0 of the target IP list as the address (after a relocation).
    void QueryNetwork();
    void QueryUser();
    void QueryAlert();
    void Flush() override;

    void SetHeaderGroup(const std::string& text);
    void SetHeaderName(const std::string& text);
    // Passes the last control reply to the four tab pages, in tab order.
    void DistributeControl();
    // After a power command succeeded: "0" marks the kept control reply as off and
    // distributes it; anything else asks for fresh state.
    void RecordPowerState(const std::string& digit);

    // How the dialog reaches the main window's relocation follow-up (message 0x590): the
    // handler gets the dialog's waiter, which re-queries the Network page when discovery
    // finds the projector at its new address.
    using RelocationRequest = std::function<void(std::weak_ptr<RelocationWindow>)>;
    void SetRelocationRequest(RelocationRequest request) {
        relocationRequest_ = std::move(request);
    }

    // SettingsFrame
    void RequestRelocationProbe() override;
    void ShowNotice(const std::string& text) override;
    void FollowTable() override;
    void EnqueueFor(const std::string& body, const std::weak_ptr<ReplySink>& owner) override;
    MsgCmd ReadSlot(uint32_t index) const override;
    Console& console() override { return console_; }

    const std::string& ipText() const { return ipText_; }
    const std::string& groupText() const { return groupText_; }
    const std::string& nameText() const { return nameText_; }
    const std::string& controlText() const { return controlText_; }

    CSettingsPage* TabPage(int index) const { return tabPages_[static_cast<size_t>(index)]; }
    CSettingsPage* SidePage(int index) const { return sidePages_[static_cast<size_t>(index)]; }
    CPagePrj* ProjectorPage() const;
    QTabWidget* Tabs() const { return tabs_; }
    QLabel* StatusLine() const { return status_; }
    QLabel* NoticeLine() const { return notice_; }
    // While the projector gives no usable control reply, the dialog asks again this often.
    const QTimer& controlRetry() const { return controlRetry_; }

    // Side buttons 1024 to 1027, as a click on them does it.
    void ShowProjectorSide();
    void ShowNetworkSide();
    void ShowAlertSide();
    void ShowSchedulerSide();

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void BuildControls();
    CSettingsPage* MakeTabPage(int index, QWidget* parent);
    CSettingsPage* MakeSidePage(int index);
    void Query(std::string_view topic);
    void HandlePost(uint32_t message, uintptr_t wparam, intptr_t lparam);
    void RouteReply(uint32_t slotIndex);
    void ShowStatus(intptr_t lparam);
    // A control reply: a usable one goes to the tab pages; anything else makes every tab
    // page show the projector as not answering, and the query is repeated until it answers.
    void TakeControlReply(const std::string& reply);
    // Shows the tab control (side < 0) or one side page, hiding the others.
    void ShowSide(int side);

    Console& console_;
    RequestRing& ring_;
    RegStore& store_;
    std::array<CSettingsPage*, kTabCount> tabPages_{};
    std::string ipText_;
    std::string groupText_;
    std::string nameText_;
    std::array<CSettingsPage*, kSideCount> sidePages_{};
    CStaticText* ipValue_ = nullptr;
    CStaticText* groupValue_ = nullptr;
    CStaticText* nameValue_ = nullptr;
    std::string controlText_;

    QGroupBox* sidePanel_ = nullptr;   // 1007
    QGroupBox* headerBand_ = nullptr;  // 1032
    QGroupBox* pageArea_ = nullptr;    // 1005
    QTabWidget* tabs_ = nullptr;       // 1006
    QLabel* status_ = nullptr;         // 1139
    QLabel* notice_ = nullptr;
    // The notice that says the projector is not answering; cleared when it answers.
    std::string notAnsweringNotice_;
    QTimer controlRetry_;
    RelocationRequest relocationRequest_;
    std::shared_ptr<RelocationWindow> relocationWaiter_;
    ReplySinkHolder sink_;
};

}  // namespace vistrel
