#include "settings/shared/grp_set_dlg.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>

#include "controls/gradient.h"
#include "controls/icons.h"
#include "controls/static_text.h"
#include "protocol/codec.h"
#include "settings/common/batch_progress.h"
#include "settings/common/settings_page.h"
#include "settings/shared/grp_alert.h"
#include "settings/shared/grp_network.h"
#include "settings/shared/grp_prj.h"
#include "settings/shared/grp_scheduler.h"

namespace vistrel {

namespace {

constexpr QSize kDialogSize(640, 478);
const QRect kSidePanelRect(8, 4, 108, 432);    // 1007
const QRect kHeaderBandRect(124, 4, 508, 62);  // 1032
const QRect kPageAreaRect(124, 72, 508, 364);  // 1005

const QColor kHeaderText(255, 255, 255);
const QColor kPurpleDark(71, 58, 101);
const QColor kPurpleLight(131, 113, 172);
const QColor kPanelLight(240, 240, 240);
const QColor kSideLabelText(60, 60, 60);

}  // namespace

CGrpSetDlg::CGrpSetDlg(QWidget* owner, Console& console, RequestRing& ring, RegStore& store,
                       const std::string& groupName)
    : QDialog(owner), console_(console), ring_(ring), store_(store), targetGroup_(groupName) {
    setObjectName(QStringLiteral("CGrpSetDlg"));
    setWindowTitle(QStringLiteral("Group Setting"));
    // A dialog window: no task-bar entry of its own.
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setModal(true);
    setFixedSize(kDialogSize);
    BuildControls();
}

CGrpSetDlg::~CGrpSetDlg() = default;

void CGrpSetDlg::BuildControls() {
    auto named = [](QWidget* w, int id) {
        w->setObjectName(ControlName(id));
        return w;
    };

    auto* sidePanel = new QGroupBox(this);
    named(sidePanel, 1007);
    sidePanel->setGeometry(kSidePanelRect);
    auto* headerBand = new QGroupBox(this);
    named(headerBand, 1032);
    headerBand->setGeometry(kHeaderBandRect);
    // The page area only places the pages.
    auto* pageArea = new QGroupBox(this);
    named(pageArea, 1005);
    pageArea->setGeometry(kPageAreaRect);
    pageArea->hide();

    struct Side {
        int button;
        int caption;
        IconId icon;
        const char* text;
        QColor back;
    };
    const Side sides[kSideCount] = {
        {1024, 1028, IconId::kSideProjector, "Projector", kPurpleLight},
        {1025, 1029, IconId::kSideNetwork, "Network", kPurpleLight},
        {1026, 1030, IconId::kSideAlert, "Alert", kPurpleDark},
        {1027, 1031, IconId::kSideScheduler, "Scheduler", kPurpleDark},
    };
    auto* group = new QButtonGroup(this);
    group->setExclusive(true);
    int y = 22;
    for (int i = 0; i < kSideCount; ++i) {
        const Side& side = sides[i];
        auto* button = new QPushButton(this);
        named(button, side.button);
        button->setCheckable(true);
        button->setAutoDefault(false);
        button->setIcon(AppIcon(side.icon));
        button->setIconSize(QSize(32, 32));
        button->setGeometry(kSidePanelRect.left() + 28, y, 52, 52);
        group->addButton(button, side.button);
        connect(button, &QPushButton::clicked, this, [this, i] { ShowSide(i); });
        auto* caption = new CStaticText(QString::fromLatin1(side.text), this);
        named(caption, side.caption);
        caption->setStyle(kSideLabelText, side.back, 700);
        caption->setGeometry(kSidePanelRect.left() + 4, y + 54, kSidePanelRect.width() - 8, 20);
        y += 100;
    }
    group->button(1024)->setChecked(true);

    auto header = [&](int id, const QString& text, int x, int width) {
        auto* label = new CStaticText(text, this);
        named(label, id);
        label->setStyle(kHeaderText, kPurpleDark, 400);
        label->setFormat(Qt::AlignLeft | Qt::AlignVCenter);
        label->setGeometry(kHeaderBandRect.left() + x, kHeaderBandRect.top() + 22, width, 20);
        return label;
    };
    header(1038, QStringLiteral("Group:"), 12, 56);
    groupValue_ = header(1018, QString::fromStdString(targetGroup_), 68, 420);

    for (int i = 0; i < kSideCount; ++i) {
        CSettingsPage* page = MakeSidePage(i);
        page->setGeometry(kPageAreaRect);
        page->setVisible(i == kSideProjector);
        pages_[static_cast<size_t>(i)] = page;
    }

    progressBar_ = new QProgressBar(this);
    named(progressBar_, 1099);
    progressBar_->setGeometry(16, 446, 420, 20);
    progressBar_->setTextVisible(false);
    progressBar_->setValue(0);
    progress_ = new BatchProgress(progressBar_, this);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    named(ok, 1);
    ok->setGeometry(kDialogSize.width() - 96, 442, 88, 28);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
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

void CGrpSetDlg::Flush() {
    EnqueueFor(std::string(kFlushBody), {});
}

void CGrpSetDlg::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    QPainter painter(this);
    PaintGradient(painter, kSidePanelRect.adjusted(0, 6, 0, 0), kPurpleLight, kPanelLight,
                  Qt::Vertical);
    PaintGradient(painter, kHeaderBandRect.adjusted(0, 6, 0, 0), kPurpleDark, kPurpleLight,
                  Qt::Horizontal);
}

}  // namespace vistrel
