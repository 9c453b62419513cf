#include "settings/shared/grp_network.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStringList>
#include <QTimer>

#include "protocol/codec.h"
#include "protocol/console.h"
#include "protocol/wire_fields.h"
#include "settings/common/batch_progress.h"
#include "settings/common/field_width.h"
#include "settings/common/group_frame.h"
#include "settings/shared/network_texts.h"

namespace vistrel {

namespace {

// Messages of the relocation thread to the page.
constexpr uint32_t kProjectorDone = 1;  // wparam: index; lparam: 1 sent, 0 skipped
constexpr uint32_t kAllDone = 2;
// The projectors need a moment before they answer from their new addresses.
constexpr int kRelocationWaitMs = 3000;

}  // namespace

const std::vector<int>& CGrpNetwork::PageControls() {
    static const std::vector<int> ids = {kDhcp,          kSubmitDhcp,   kAdminAccess,
                                         kAdminPassword, kAdminConfirm, kUserAccess,
                                         kUserPassword,  kUserConfirm,  kSubmitPasswords};
    return ids;
}

CGrpNetwork::CGrpNetwork(GroupFrame& frame, QWidget* frameWidget, QWidget* parent)
    : CGroupPage(frame, frameWidget, parent) {
    setObjectName(QStringLiteral("CGrpNetwork"));
    BuildControls();
}

// The relocation thread holds only a weak reference to the sink, which goes with the page.
CGrpNetwork::~CGrpNetwork() = default;

void CGrpNetwork::BuildControls() {
    auto caption = [this](const char* text, int x, int y, int width = 120) {
        auto* label = new QLabel(QString::fromLatin1(text), this);
        label->setGeometry(x, y, width, 22);
        return label;
    };
    auto* ipBox = new QGroupBox(QStringLiteral("IP"), this);
    ipBox->setGeometry(8, 4, 492, 120);
    auto* passwordBox = new QGroupBox(QStringLiteral("Password"), this);
    passwordBox->setGeometry(8, 196, 492, 160);

    dhcp_ = Control<QCheckBox>(kDhcp, QStringLiteral("Enable DHCP To All Projector Selected"));
    dhcp_->setGeometry(24, 40, 340, 22);
    auto* submitDhcp = Control<QPushButton>(kSubmitDhcp, QStringLiteral("Submit"));
    submitDhcp->setGeometry(400, 84, 88, 28);
    submitDhcp->setAutoDefault(false);
    connect(submitDhcp, &QPushButton::clicked, this, &CGrpNetwork::OnSubmitDhcp);

    auto accessList = [this](int id) {
        auto* list = Control<QComboBox>(id);
        list->addItem(QStringLiteral("On"));
        list->addItem(QStringLiteral("Off"));
        list->setCurrentIndex(-1);
        return list;
    };
    caption("Adminsrator:", 24, 218, 110);
    adminList_ = accessList(kAdminAccess);
    adminList_->setGeometry(144, 218, 80, 22);
    caption("New Password:", 24, 250, 110);
    adminPasswordEdit_ = Control<QLineEdit>(kAdminPassword);
    adminPasswordEdit_->setGeometry(144, 250, 150, 22);
    caption("Confirm Password:", 24, 282, 118);
    adminConfirmEdit_ = Control<QLineEdit>(kAdminConfirm);
    adminConfirmEdit_->setGeometry(144, 282, 150, 22);

    QLabel* userCaptions[] = {caption("User:", 300, 218, 60), caption("New Password:", 300, 250, 0),
                              caption("Confirm Password:", 300, 282, 0)};
    userList_ = accessList(kUserAccess);
    userPasswordEdit_ = Control<QLineEdit>(kUserPassword);
    userConfirmEdit_ = Control<QLineEdit>(kUserConfirm);
    // A password longer than its record field would be cut without a word: refused as typed.
    for (QLineEdit* edit :
         {adminPasswordEdit_, adminConfirmEdit_, userPasswordEdit_, userConfirmEdit_})
        LimitToField(edit, kTextFieldWidth);
    for (QWidget* hidden :
         {static_cast<QWidget*>(userList_), static_cast<QWidget*>(userPasswordEdit_),
          static_cast<QWidget*>(userConfirmEdit_)}) {
        hidden->setGeometry(360, 218, 100, 22);
        hidden->hide();
    }
    for (QLabel* label : userCaptions)
        label->hide();

    auto* submitPasswords = Control<QPushButton>(kSubmitPasswords, QStringLiteral("Submit"));
    submitPasswords->setGeometry(400, 318, 88, 28);
    submitPasswords->setAutoDefault(false);
    connect(submitPasswords, &QPushButton::clicked, this, &CGrpNetwork::OnSubmitPasswords);
}

void CGrpNetwork::SetControlsEnabled(bool enabled) {
    // A relocation keeps the page disabled until the dialog closes.
    if (enabled && relocating_)
        return;
    for (int id : PageControls())
        findChild<QWidget*>(ControlName(id))->setEnabled(enabled);
}

void CGrpNetwork::ReadControls() {
    dhcpEnabled_ = dhcp_->isChecked() ? 1 : 0;
    adminPassword_ = adminPasswordEdit_->text().toStdString();
    adminConfirm_ = adminConfirmEdit_->text().toStdString();
    userPassword_ = userPasswordEdit_->text().toStdString();
    userConfirm_ = userConfirmEdit_->text().toStdString();
    userAccess_ = userList_->currentIndex();
    adminAccess_ = adminList_->currentIndex();
}

void CGrpNetwork::OnSubmitPasswords() {
    ReadControls();
    SetControlsEnabled(false);
    if (adminPassword_ != adminConfirm_ || userPassword_ != userConfirm_) {
        ShowWarning(this, QString::fromLatin1(kConfirmPasswordError));
        SetControlsEnabled(true);
        return;
    }
    if (adminAccess_ < 0) {
        ShowWarning(this, QString::fromLatin1(kChooseAccessText));
        SetControlsEnabled(true);
        return;
    }
    // The user row is never shown, so its list is never chosen: the account goes out as OFF
    // rather than as a digit outside the record's 0/1.
    const int userIndex = userAccess_ < 0 ? 1 : userAccess_;
    const std::string body =
        BuildUserRecord(1 - adminAccess_, adminPassword_, 1 - userIndex, userPassword_);
    if (!Frame() || Frame()->console().batch.empty()) {
        SetControlsEnabled(true);
        return;
    }
    SendToGroup(body, Path::Batch);
}

void CGrpNetwork::OnSubmitDhcp() {
    SettingsFrame* frame = Frame();
    if (!frame || relocating_)
        return;
    auto& group = static_cast<GroupFrame&>(*frame);
    Console& console = frame->console();
    SetControlsEnabled(false);
    QProgressBar* bar = group.Progress().bar();
    const int count = static_cast<int>(console.targetIps.size());
    bar->setRange(0, count);
    bar->setValue(0);
    ReadControls();
    if (!AskRelocate(this)) {
        SetControlsEnabled(true);
        return;
    }

    relocating_ = true;
    relocationIps_ = console.targetIps;
    skipped_.clear();
    relocationSink_ = std::make_unique<ReplySinkHolder>(
        this, [this](uint32_t message, uintptr_t index, intptr_t sent) {
            OnRelocationPost(message, index, sent);
        });
    HttpOptions options;
    options.port = console.profile.httpPort;
    options.connectTimeoutMs = connectTimeoutMs_;
    options.totalTimeoutMs = totalTimeoutMs_;
    // The thread sees copies only: the addresses, the flag and the options. It never takes
    // the projector-table lock, and the page hears from it through the sink.
    const bool dhcp = dhcpEnabled_ != 0;
    std::weak_ptr<ReplySink> sink = relocationSink_->Weak();
    BackgroundPosts& background = console.background;
    const bool started = background.Run([ips = relocationIps_, dhcp, options, sink,
                                         &background](const std::shared_ptr<CancelToken>& cancel) {
        for (size_t i = 0; i < ips.size() && !cancel->IsCancelled(); ++i) {
            std::string reply;
            CXHttpRequest(ips[i], std::string(kQueryNetworkBody), options, cancel)
                .Send("POST", reply);
            // A missing or short reply gives no record: half a configuration would cut the
            // projector off the network.
            const std::optional<std::string> body = BuildNetworkRecordKeepingAddresses(dhcp, reply);
            if (body)
                background.Post(ips[i], *body, options);
            if (auto owner = sink.lock())
                owner->Post(kProjectorDone, i, body ? 1 : 0);
        }
        if (auto owner = sink.lock())
            owner->Post(kAllDone, 0, 0);
    });
    if (!started) {
        // The console is shutting down.
        relocating_ = false;
        SetControlsEnabled(true);
    }
}

void CGrpNetwork::OnRelocationPost(uint32_t message, uintptr_t index, intptr_t sent) {
    QProgressBar* bar = Frame() ? static_cast<GroupFrame*>(Frame())->Progress().bar() : nullptr;
    if (message == kProjectorDone) {
        if (!sent && index < relocationIps_.size())
            skipped_.push_back(relocationIps_[index]);
        if (bar)
            bar->setValue(bar->value() + 1);
        return;
    }
    if (message != kAllDone)
        return;
    emit relocationSent();
    QTimer::singleShot(kRelocationWaitMs, this, &CGrpNetwork::FinishRelocation);
}

void CGrpNetwork::FinishRelocation() {
    if (SettingsFrame* frame = Frame())
        static_cast<GroupFrame*>(frame)->Progress().bar()->setValue(0);
    QString details;
    if (!skipped_.empty()) {
        QStringList names;
        for (const std::string& ip : skipped_)
            names << QString::fromStdString(ip);
        details = QStringLiteral(
                      "These projectors did not report their network settings and "
                      "were left unchanged: %1")
                      .arg(names.join(QStringLiteral(", ")));
    }
    ShowWarning(this, QString::fromLatin1(kGroupRelocatedText), false, details);
    // The projectors may answer from other addresses now: the dialog's targets are stale.
    if (QWidget* dialog = window(); dialog && dialog != this) {
        QMetaObject::invokeMethod(
            dialog, [dialog] { dialog->close(); }, Qt::QueuedConnection);
    }
}

}  // namespace vistrel
