// The "Group Setting" dialog: settings sent to every projector the main window addressed
// (the ticked rows of a group, or of "All Projectors"). Four side pages: Projector, Network,
// Alert and Scheduler; a progress bar at the bottom counts the answers of the last send.
//
// The batch list and the target IP list name the projectors; every side page (Projector,
// Network, Alert, Scheduler) is built.
#pragma once

#include <QDialog>
#include <array>
#include <string>

#include "protocol/request_ring.h"
#include "settings/common/group_frame.h"

class QProgressBar;
class QPushButton;

namespace vistrel {

class BatchProgress;
class CGrpPrj;
class RegStore;
class CSettingsPage;
class CStaticText;

class CGrpSetDlg : public QDialog, public GroupFrame {
    Q_OBJECT
  public:
    enum SideIndex { kSideProjector = 0, kSideNetwork, kSideAlert, kSideScheduler, kSideCount };

    // `store` keeps the group's and the projectors' scheduled tasks (the Scheduler page).
    CGrpSetDlg(QWidget* owner, Console& console, RequestRing& ring, RegStore& store,
               const std::string& groupName);
    ~CGrpSetDlg() override;

    // The group's name as the Scheduler page keys its tasks ("All Projectors" for all).
    const std::string& targetGroup() const { return targetGroup_; }

    CGrpPrj* ProjectorPage() const;
    CSettingsPage* Page(int side) const { return pages_[static_cast<size_t>(side)]; }
    QProgressBar* ProgressBar() const { return progressBar_; }

    // Side buttons 1024 to 1027, as a click on them does it.
    void ShowSide(int side);

    // GroupFrame
    void EnqueueFor(const std::string& body, const std::weak_ptr<ReplySink>& owner) override;
    MsgCmd ReadSlot(uint32_t index) const override;
    std::shared_ptr<BatchResult> SendBatchFor(const std::string& body,
                                              const std::weak_ptr<ReplySink>& owner) override;
    std::shared_ptr<BatchResult> SendBatchEach(const std::vector<std::string>& bodies,
                                               const std::weak_ptr<ReplySink>& owner) override;
    BatchProgress& Progress() override { return *progress_; }
    Console& console() override { return console_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void BuildControls();
    CSettingsPage* MakeSidePage(int side);

    Console& console_;
    RequestRing& ring_;
    RegStore& store_;
    std::string targetGroup_;
    std::array<CSettingsPage*, kSideCount> pages_{};
    CStaticText* groupValue_ = nullptr;  // 1018
    QProgressBar* progressBar_ = nullptr;
    BatchProgress* progress_ = nullptr;
};

}  // namespace vistrel
