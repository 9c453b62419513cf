#include "settings/shared/grp_network.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStringList>
#include <QTimer>

#include "controls/message_box.h"
#include "protocol/codec.h"
#include "protocol/console.h"
#include "settings/common/batch_progress.h"
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
    static const std::vector<int> ids = PasswordControls::AfterPageIds({kDhcp, kSubmitDhcp});
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
    // The same box as on the projector form; where that form has the address fields, this
    // one says what happens to the addresses.
    auto* ipBox = new QGroupBox(QStringLiteral("IP"), this);
    ipBox->setGeometry(8, 4, 492, 186);
    dhcp_ = Control<QCheckBox>(kDhcp, QStringLiteral("Enable DHCP on all selected projectors"));
    dhcp_->setGeometry(24, 26, 340, 22);
    auto* note = new QLabel(QStringLiteral("Each projector keeps its own address, subnet mask, "
                                           "gateway and DNS server; only DHCP is switched on or "
                                           "off. Projectors that take a new address are found "
                                           "again by the main window's search."),
                            this);
    note->setWordWrap(true);
    note->setGeometry(40, 60, 350, 80);
    auto* submitDhcp = Control<QPushButton>(kSubmitDhcp, QStringLiteral("Submit"));
    submitDhcp->setGeometry(400, 150, 88, 28);
    submitDhcp->setAutoDefault(false);
    connect(submitDhcp, &QPushButton::clicked, this, &CGrpNetwork::OnSubmitDhcp);

    passwords_.Build(this, "On", "Off");
    connect(passwords_.submit, &QPushButton::clicked, this, &CGrpNetwork::OnSubmitPasswords);
    connect(this, &CGroupPage::answersComplete, this, [this] {
        if (passwordStep_ == PasswordStep::Sending)
            FinishPasswords();
    });
}

void CGrpNetwork::SetControlsEnabled(bool enabled) {
    // A relocation keeps the page disabled until the dialog closes.
    if (enabled && relocating_)
        return;
    for (int id : PageControls())
        findChild<QWidget*>(ControlName(id))->setEnabled(enabled);
}

void CGrpNetwork::OnSubmitPasswords() {
    const PasswordEntries entries = passwords_.Read();
    SetControlsEnabled(false);
    if (!entries.Confirmed()) {
        ShowWarning(this, QString::fromLatin1(kConfirmPasswordError));
        SetControlsEnabled(true);
        return;
    }
    const std::optional<std::string> body = entries.UserRecord();
    if (!body) {
        ShowWarning(this, QString::fromLatin1(kChooseAccessText));
        SetControlsEnabled(true);
        return;
    }
    if (!Frame() || Frame()->console().batch.empty()) {
        SetControlsEnabled(true);
        return;
    }
    // The record also carries the user access and password: read what each projector has
    // before anything is changed.
    passwordEntries_ = entries;
    passwordStep_ = PasswordStep::Reading;
    userRepliesExpected_ = Frame()->console().batch.size();
    userReplies_ = 0;
    userAccessByIp_.clear();
    passwordSkipped_.clear();
    SendToGroup(std::string(kQueryUserBody), Path::Batch);
}

void CGrpNetwork::OnEntryAnswer(const MsgCmd& entry) {
    if (passwordStep_ != PasswordStep::Reading || entry.body != kQueryUserBody)
        return;
    if (const auto user = ParseUserReply(entry.reply))
        userAccessByIp_[entry.ip] = user->userAccess;
    if (++userReplies_ == userRepliesExpected_) {
        // After the base has counted this answer.
        QTimer::singleShot(0, this, &CGrpNetwork::ConfirmPasswords);
    }
}

void CGrpNetwork::ConfirmPasswords() {
    GroupFrame* frame = Frame();
    if (!frame || passwordStep_ != PasswordStep::Reading)
        return;
    std::vector<std::string> bodies;
    size_t count = 0;
    for (const MsgCmd& entry : frame->console().batch) {
        const auto user = userAccessByIp_.find(entry.ip);
        if (user == userAccessByIp_.end()) {
            passwordSkipped_.push_back(entry.ip);
            bodies.emplace_back();
            continue;
        }
        bodies.push_back(passwordEntries_.UserRecordKeeping(user->second).value_or(std::string()));
        ++count;
    }
    if (count == 0) {
        passwordStep_ = PasswordStep::None;
        FinishPasswords();
        return;
    }
    const QString projectors =
        count == 1 ? QStringLiteral("1 projector") : QStringLiteral("%1 projectors").arg(count);
    const int answer = ShowWarning(
        this,
        QStringLiteral("This sets the administrator password on %1. This also clears the user "
                       "password on %1.")
            .arg(projectors),
        true);
    if (answer != QMessageBox::Ok) {
        passwordStep_ = PasswordStep::None;
        SetControlsEnabled(true);
        return;
    }
    passwordStep_ = PasswordStep::Sending;
    SendEachToGroup(bodies);
}

void CGrpNetwork::FinishPasswords() {
    passwordStep_ = PasswordStep::None;
    if (passwordSkipped_.empty())
        return;
    QStringList names;
    for (const std::string& ip : passwordSkipped_)
        names << QString::fromStdString(ip);
    passwordSkipped_.clear();
    ShowWarning(this, QStringLiteral("These projectors did not report their user settings and were "
                                     "left unchanged: %1")
                          .arg(names.join(QStringLiteral(", "))));
    SetControlsEnabled(true);
}

void CGrpNetwork::OnSubmitDhcp() {
    GroupFrame* frame = Frame();
    if (!frame || relocating_)
        return;
    Console& console = frame->console();
    SetControlsEnabled(false);
    QProgressBar* bar = frame->Progress().bar();
    const int count = static_cast<int>(console.targetIps.size());
    bar->setRange(0, count);
    bar->setValue(0);
    // The outcome of an earlier send does not describe this one.
    bar->setTextVisible(false);
    bar->setToolTip({});
    const bool dhcp = dhcp_->isChecked();
    if (!AskRelocate(this, GroupRelocateQuestion(dhcp, count))) {
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
    QProgressBar* bar = Frame() ? Frame()->Progress().bar() : nullptr;
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
    if (GroupFrame* frame = Frame())
        frame->Progress().bar()->setValue(0);
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
