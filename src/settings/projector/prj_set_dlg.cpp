#include "settings/projector/prj_set_dlg.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "controls/gradient.h"
#include "controls/icons.h"
#include "controls/static_text.h"
#include "controls/text_fit.h"
#include "monitor/discovery.h"
#include "protocol/codec.h"
#include "settings/common/dialog_frame.h"
#include "settings/common/failure_text.h"
#include "settings/common/field_width.h"
#include "settings/common/settings_page.h"
#include "settings/projector/page_disp.h"
#include "settings/projector/page_img.h"
#include "settings/projector/page_prj.h"
#include "settings/projector/page_set.h"
#include "settings/shared/prj_alert.h"
#include "settings/shared/prj_network.h"
#include "settings/shared/prj_scheduler.h"

namespace vistrel {

namespace {

constexpr int kControlRetryMs = 3000;

const FrameColors& kColors = ProjectorFrameColors();

// What discovery holds while the projector moves: it lives and dies with the dialog, so a
// relocation that ends after the dialog has closed reaches nobody.
class DialogRelocationWaiter final : public RelocationWindow {
  public:
    explicit DialogRelocationWaiter(CPrjSetDlg* dialog) : dialog_(dialog) {}
    void QueryNetwork() override {
        if (!dialog_)
            return;
        if (auto* page = qobject_cast<CPrjNetwork*>(dialog_->SidePage(CPrjSetDlg::kSideNetwork)))
            page->OnRelocationFound();
        dialog_->QueryNetwork();
    }
    std::string ExpectedAddress() const override {
        if (!dialog_)
            return {};
        auto* page = qobject_cast<CPrjNetwork*>(dialog_->SidePage(CPrjSetDlg::kSideNetwork));
        return page ? page->relocationTarget() : std::string();
    }
    void RelocationLost() override {
        if (!dialog_)
            return;
        // Queued: discovery calls from inside its own timer work.
        QMetaObject::invokeMethod(
            dialog_.data(),
            [dialog = dialog_] {
                if (dialog) {
                    if (auto* page =
                            qobject_cast<CPrjNetwork*>(dialog->SidePage(CPrjSetDlg::kSideNetwork)))
                        page->OnRelocationLost();
                }
            },
            Qt::QueuedConnection);
    }

  private:
    QPointer<CPrjSetDlg> dialog_;
};

}  // namespace

CPrjSetDlg::CPrjSetDlg(QWidget* owner, Console& console, RequestRing& ring, RegStore& store,
                       const std::string& ip, const std::string& groupName,
                       const std::string& projectorName)
    : QDialog(owner),
      console_(console),
      ring_(ring),
      store_(store),
      ipText_(ip),
      groupText_(groupName),
      nameText_(projectorName),
      sink_(this, [this](uint32_t message, uintptr_t wparam, intptr_t lparam) {
          HandlePost(message, wparam, lparam);
      }) {
    SetUpFrameWindow(this, QStringLiteral("CPrjSetDlg"), QStringLiteral("Projector Setting"));
    BuildControls();
    controlRetry_.setSingleShot(true);
    controlRetry_.setInterval(kControlRetryMs);
    connect(&controlRetry_, &QTimer::timeout, this, [this] {
        // Only while the tab pages are shown: the Projector side button asks anyway.
        if (isVisible() && !tabs_->isHidden())
            QueryControl();
    });

    QueryModel();
    QueryGroup();
    QueryInfo();
    QueryControl();
    ring_.SetStatusWindow(sink_.Weak());
}

CPrjSetDlg::~CPrjSetDlg() {
    // The worker must never post to, or read, a dialog that is gone.
    ring_.ClearStatusWindow();
}

void CPrjSetDlg::BuildControls() {
    auto named = [](QWidget* w, int id) {
        w->setObjectName(ControlName(id));
        return w;
    };

    const FrameBoxes boxes = BuildFrameBoxes(this);
    sidePanel_ = boxes.sidePanel;
    headerBand_ = boxes.headerBand;
    pageArea_ = boxes.pageArea;

    QButtonGroup* group = BuildSideButtons(this, kColors);
    connect(group->button(1024), &QPushButton::clicked, this, &CPrjSetDlg::ShowProjectorSide);
    connect(group->button(1025), &QPushButton::clicked, this, &CPrjSetDlg::ShowNetworkSide);
    connect(group->button(1026), &QPushButton::clicked, this, &CPrjSetDlg::ShowAlertSide);
    connect(group->button(1027), &QPushButton::clicked, this, &CPrjSetDlg::ShowSchedulerSide);

    // Header band: captions and values over the gradient.
    auto header = [&](int id, const QString& text, int x, int top, int width) {
        return BuildHeaderLabel(this, kColors, id, text, x, top, width);
    };
    header(1113, QStringLiteral("IP:"), 12, 12, 50);
    ipValue_ = header(1033, QString::fromStdString(ipText_), 62, 12, 170);
    header(1038, QStringLiteral("Group:"), 240, 12, 56);
    groupValue_ = header(1114, ShownProjectorText(groupText_), 296, 12, 204);
    header(1115, QStringLiteral("Name:"), 12, 34, 50);
    nameValue_ = header(1039, ShownProjectorText(nameText_), 62, 34, 438);

    // The tab control takes the page area's place; the area itself is only a placeholder.
    tabs_ = new QTabWidget(this);
    named(tabs_, 1006);
    tabs_->setGeometry(kFramePageAreaRect);
    const char* tabNames[kTabCount] = {"Projector", "Image", "Display", "Setting"};
    for (int i = 0; i < kTabCount; ++i) {
        CSettingsPage* page = MakeTabPage(i, tabs_);
        tabPages_[static_cast<size_t>(i)] = page;
        tabs_->addTab(page, QString::fromLatin1(tabNames[i]));
    }
    tabs_->setCurrentIndex(kTabProjector);
    tabs_->show();
    pageArea_->hide();

    for (int i = 0; i < kSideCount; ++i) {
        CSettingsPage* page = MakeSidePage(i);
        page->setGeometry(kFramePageAreaRect);
        page->hide();
        sidePages_[static_cast<size_t>(i)] = page;
    }

    auto* statusCaption = new QLabel(QStringLiteral("Status:"), this);
    statusCaption->setGeometry(16, 446, 50, 22);
    status_ = new QLabel(QStringLiteral("Busy"), this);
    named(status_, 1139);
    status_->setGeometry(68, 446, 110, 22);
    // What went wrong lately, where the operator looks without being stopped by a box.
    notice_ = new QLabel(this);
    notice_->setObjectName(QStringLiteral("notice"));
    notice_->setGeometry(180, 440, kFrameDialogSize.width() - 96 - 188, 34);
    notice_->setWordWrap(true);

    BuildOkButton(this);
    // A larger text size grows the whole dialog rather than cut its captions.
    FitToText(*this);
}

CSettingsPage* CPrjSetDlg::MakeTabPage(int index, QWidget* parent) {
    switch (index) {
        case kTabProjector:
            return new CPagePrj(*this, this, parent);
        case kTabImage:
            return new CPageImg(*this, this, parent);
        case kTabDisplay:
            return new CPageDisp(*this, this, parent);
        case kTabSetting:
            return new CPageSet(*this, this, parent);
        default:
            return new CEmptyPage(*this, this, parent);
    }
}

CSettingsPage* CPrjSetDlg::MakeSidePage(int index) {
    switch (index) {
        case kSideNetwork:
            return new CPrjNetwork(*this, this, this);
        case kSideAlert:
            return new CPrjAlert(*this, this, this);
        case kSideScheduler:
            return new CPrjScheduler(*this, this, this, store_);
        default:
            return new CEmptyPage(*this, this, this);
    }
}

void CPrjSetDlg::RequestRelocationProbe() {
    if (!relocationRequest_)
        return;
    if (!relocationWaiter_)
        relocationWaiter_ = std::make_shared<DialogRelocationWaiter>(this);
    relocationRequest_(relocationWaiter_);
}

CPagePrj* CPrjSetDlg::ProjectorPage() const {
    return static_cast<CPagePrj*>(tabPages_[kTabProjector]);
}

// --- requests ------------------------------------------------------------------------------

void CPrjSetDlg::EnqueueFor(const std::string& body, const std::weak_ptr<ReplySink>& owner) {
    FollowTable();
    ring_.Enqueue(body, owner, std::string());
}

void CPrjSetDlg::FollowTable() {
    // The list may have found the projector elsewhere (after a relocation was given up, or
    // a move nobody here started): talk to it where it answers now. While a relocation is
    // followed, discovery moves the address itself.
    if (console_.targetMacs.empty() || console_.targetIps.empty())
        return;
    std::string ip;
    {
        auto table = console_.table.Lock();
        const Info* record = table.Find(console_.targetMacs.front());
        if (!record || record->relocating)
            return;
        ip = record->ip;
    }
    if (ip.empty() || ip == kUnusableAddress || ip == console_.targetIps.front())
        return;
    console_.targetIps.front() = ip;
    if (!console_.batch.empty())
        console_.batch.front().ip = ip;
    ipText_ = ip;
    ipValue_->setText(QString::fromStdString(ipText_));
}

MsgCmd CPrjSetDlg::ReadSlot(uint32_t index) const {
    return ring_.Slot(index);
}

void CPrjSetDlg::Query(std::string_view body) {
    EnqueueFor(std::string(body), sink_.Weak());
}

void CPrjSetDlg::QueryModel() {
    Query(kQueryModelBody);
}
void CPrjSetDlg::QueryGroup() {
    Query(kQueryGroupBody);
}
void CPrjSetDlg::QueryInfo() {
    Query(kQueryInfoBody);
}
void CPrjSetDlg::QueryControl() {
    Query(kQueryControlBody);
}
void CPrjSetDlg::QueryUser() {
    Query(kQueryUserBody);
}
void CPrjSetDlg::QueryAlert() {
    Query(kQueryAlertBody);
}
void CPrjSetDlg::Flush() {
    Query(kFlushBody);
}

void CPrjSetDlg::QueryNetwork() {
    Query(kQueryNetworkBody);
    // The list is never empty while the dialog is open; if it were, keep the old address.
    if (!console_.targetIps.empty()) {
        ipText_ = console_.targetIps.front();
        ipValue_->setText(QString::fromStdString(ipText_));
    }
}

// --- header and control state ----------------------------------------------------------------

void CPrjSetDlg::SetHeaderGroup(const std::string& text) {
    groupText_ = text;
    groupValue_->setText(ShownProjectorText(text));
}

void CPrjSetDlg::SetHeaderName(const std::string& text) {
    nameText_ = text;
    nameValue_->setText(ShownProjectorText(text));
}

void CPrjSetDlg::DistributeControl() {
    for (CSettingsPage* page : tabPages_)
        page->ParseReply(controlText_);
}

void CPrjSetDlg::RecordPowerState(const std::string& digit) {
    // Without a kept control reply long enough to hold the power digit there is nothing to
    // mark as off; fresh state from the projector serves instead.
    if (!digit.empty() && digit.front() == '0' && IsControlReply(controlText_) &&
        controlText_.size() > kControlPowerOffset) {
        controlText_[kControlPowerOffset] = '0';
        DistributeControl();
        return;
    }
    Flush();
    QueryControl();
}

// --- messages -------------------------------------------------------------------------------

void CPrjSetDlg::HandlePost(uint32_t message, uintptr_t wparam, intptr_t lparam) {
    if (message == kMsgReply)
        RouteReply(static_cast<uint32_t>(wparam));
    else if (message == kMsgQueueStatus)
        ShowStatus(lparam);
}

void CPrjSetDlg::RouteReply(uint32_t slotIndex) {
    const MsgCmd slot = ring_.Slot(slotIndex);
    const std::string& body = slot.body;
    if (body == kQueryControlBody) {
        TakeControlReply(slot.reply);
    } else if (body == kQueryGroupBody || body == kQueryInfoBody || body == kQueryModelBody) {
        TabPage(kTabProjector)->ParseReply(slot.reply);
    } else if (body == kQueryNetworkBody || body == kQueryUserBody) {
        SidePage(kSideNetwork)->ParseReply(slot.reply);
    } else if (body == kQueryAlertBody) {
        SidePage(kSideAlert)->ParseReply(slot.reply);
    }
}

void CPrjSetDlg::TakeControlReply(const std::string& reply) {
    controlText_ = reply;
    if (IsControlReply(reply)) {
        controlRetry_.stop();
        if (!notAnsweringNotice_.empty() && notice_->text().toStdString() == notAnsweringNotice_)
            ShowNotice({});
        notAnsweringNotice_.clear();
        DistributeControl();
        return;
    }
    // The projector's own time-out text, no answer at all, or something that is no reply.
    const std::string reason = FailureReason(reply);
    const std::string why = reason == "refused" ? "unreadable reply" : reason;
    notAnsweringNotice_ = std::string("The projector is not answering (") + why +
                          "); asking again every few seconds.";
    ShowNotice(notAnsweringNotice_);
    for (CSettingsPage* page : tabPages_)
        page->ShowNotAnswering();
    controlRetry_.start();
}

void CPrjSetDlg::ShowNotice(const std::string& text) {
    const QString shown = QString::fromStdString(text);
    notice_->setText(shown);
    notice_->setToolTip(shown);
}

void CPrjSetDlg::ShowStatus(intptr_t lparam) {
    if (lparam == 0)
        status_->setText(QStringLiteral("Ready"));
    else if (lparam == 1)
        status_->setText(QStringLiteral("Busy %1->%2").arg(ring_.Tail()).arg(ring_.Head()));
    else
        status_->clear();
}

// --- side buttons ----------------------------------------------------------------------------

void CPrjSetDlg::ShowSide(int side) {
    tabs_->setVisible(side < 0);
    for (int i = 0; i < kSideCount; ++i)
        sidePages_[static_cast<size_t>(i)]->setVisible(i == side);
    if (auto* button = findChild<QPushButton*>(ControlName(side < 0 ? 1024 : 1025 + side)))
        button->setChecked(true);
}

void CPrjSetDlg::ShowProjectorSide() {
    ShowSide(-1);
    QueryModel();
    Flush();
    QueryGroup();
    QueryInfo();
    QueryControl();
}

void CPrjSetDlg::ShowNetworkSide() {
    ShowSide(kSideNetwork);
    Flush();
    QueryNetwork();
    QueryUser();
}

void CPrjSetDlg::ShowAlertSide() {
    ShowSide(kSideAlert);
    Flush();
    QueryAlert();
}

void CPrjSetDlg::ShowSchedulerSide() {
    // The tasks live in the store; nothing to ask the projector.
    ShowSide(kSideScheduler);
}

void CPrjSetDlg::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    QPainter painter(this);
    PaintFrame(painter, *this, kColors);
}

}  // namespace vistrel
