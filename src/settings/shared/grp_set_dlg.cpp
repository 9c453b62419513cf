#include "settings/shared/grp_set_dlg.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>

#include "controls/gradient.h"
#include "controls/icons.h"
#include "controls/static_text.h"
#include "controls/text_fit.h"
#include "protocol/codec.h"
#include "settings/common/batch_progress.h"
#include "settings/common/dialog_frame.h"
#include "settings/common/settings_page.h"
#include "settings/shared/grp_alert.h"
#include "settings/shared/grp_network.h"
#include "settings/shared/grp_prj.h"
#include "settings/shared/grp_scheduler.h"

namespace vistrel {

namespace {

const QColor kPurpleDark(71, 58, 101);
const QColor kPurpleLight(131, 113, 172);
const FrameColors kColors{
    kPurpleDark, kPurpleLight, {kPurpleLight, kPurpleLight, kPurpleDark, kPurpleDark}};

}  // namespace

CGrpSetDlg::CGrpSetDlg(QWidget* owner, Console& console, RequestRing& ring, RegStore& store,
                       const std::string& groupName)
    : QDialog(owner), console_(console), ring_(ring), store_(store), targetGroup_(groupName) {
    SetUpFrameWindow(this, QStringLiteral("CGrpSetDlg"), QStringLiteral("Group Setting"));
    BuildControls();
}

CGrpSetDlg::~CGrpSetDlg() = default;

void CGrpSetDlg::BuildControls() {
    // The page area only places the pages.
    BuildFrameBoxes(this).pageArea->hide();
    QButtonGroup* sides = BuildSideButtons(this, kColors);
    for (int i = 0; i < kSideCount; ++i)
        connect(sides->button(1024 + i), &QPushButton::clicked, this, [this, i] { ShowSide(i); });

    BuildHeaderLabel(this, kColors, 1038, QStringLiteral("Group:"), 12, 22, 56);
    groupValue_ =
        BuildHeaderLabel(this, kColors, 1018, QString::fromStdString(targetGroup_), 68, 22, 420);

    for (int i = 0; i < kSideCount; ++i) {
        CSettingsPage* page = MakeSidePage(i);
        page->setGeometry(kFramePageAreaRect);
        page->setVisible(i == kSideProjector);
        pages_[static_cast<size_t>(i)] = page;
    }

    progressBar_ = new QProgressBar(this);
    progressBar_->setObjectName(ControlName(1099));
    progressBar_->setGeometry(16, 446, 420, 20);
    progressBar_->setTextVisible(false);
    progressBar_->setValue(0);
    progress_ = new BatchProgress(progressBar_, this);

    BuildOkButton(this);
    // A larger text size grows the whole dialog rather than cut its captions.
    FitToText(*this);
}

CSettingsPage* CGrpSetDlg::MakeSidePage(int side) {
    switch (side) {
        case kSideProjector:
            return new CGrpPrj(*this, this, this);
        case kSideNetwork:
            return new CGrpNetwork(*this, this, this);
        case kSideAlert:
            return new CGrpAlert(*this, this, this);
        case kSideScheduler:
            return new CGrpScheduler(*this, this, this, store_, targetGroup_);
        default:
            return new CEmptyPage(*this, this, this);
    }
}

CGrpPrj* CGrpSetDlg::ProjectorPage() const {
    return static_cast<CGrpPrj*>(pages_[kSideProjector]);
}

void CGrpSetDlg::ShowSide(int side) {
    for (int i = 0; i < kSideCount; ++i)
        pages_[static_cast<size_t>(i)]->setVisible(i == side);
    if (auto* button = findChild<QPushButton*>(ControlName(1024 + side)))
        button->setChecked(true);
}

// --- requests ------------------------------------------------------------------------------

void CGrpSetDlg::EnqueueFor(const std::string& body, const std::weak_ptr<ReplySink>& owner) {
    // The empty address: one request per entry of the target IP list.
    ring_.Enqueue(body, owner, std::string());
}

MsgCmd CGrpSetDlg::ReadSlot(uint32_t index) const {
    return ring_.Slot(index);
}

std::shared_ptr<BatchResult> CGrpSetDlg::SendBatchFor(const std::string& body,
                                                      const std::weak_ptr<ReplySink>& owner) {
    return ring_.SendBatch(body, owner);
}

std::shared_ptr<BatchResult> CGrpSetDlg::SendBatchEach(const std::vector<std::string>& bodies,
                                                       const std::weak_ptr<ReplySink>& owner) {
    return ring_.SendBatchEach(bodies, owner);
}

void CGrpSetDlg::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    QPainter painter(this);
    PaintFrame(painter, *this, kColors);
}

}  // namespace vistrel
