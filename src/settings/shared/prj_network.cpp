#include "settings/shared/prj_network.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include "controls/ip_address_edit.h"
#include "controls/message_box.h"
#include "protocol/codec.h"
#include "protocol/console.h"
#include "protocol/wire_fields.h"
#include "settings/common/failure_text.h"
#include "settings/common/settings_frame.h"
#include "settings/shared/network_texts.h"

namespace vistrel {

namespace {

// The access lists show ON at index 0; the wire's digit is 1 for ON.
int IndexOfDigit(int digit) {
    return digit == 0 || digit == 1 ? 1 - digit : -1;
}

}  // namespace

const std::vector<int>& CPrjNetwork::PageControls() {
    static const std::vector<int> ids =
        PasswordControls::AfterPageIds({kDhcp, kMac, kIp, kMask, kGateway, kDns, kSubmitNetwork});
    return ids;
}

CPrjNetwork::CPrjNetwork(SettingsFrame& frame, QWidget* frameWidget, QWidget* parent)
    : CProjectorPage(frame, frameWidget, parent) {
    setObjectName(QStringLiteral("CPrjNetwork"));
    BuildControls();
    // Nothing is known about the projector until its "<network>" reply.
    for (int id : PageControls())
        findChild<QWidget*>(ControlName(id))->setEnabled(false);
}

void CPrjNetwork::BuildControls() {
    auto caption = [this](const char* text, int x, int y, int width = 120) {
        auto* label = new QLabel(QString::fromLatin1(text), this);
        label->setGeometry(x, y, width, 22);
        return label;
    };
    auto* ipBox = new QGroupBox(QStringLiteral("IP"), this);
    ipBox->setGeometry(8, 4, 492, 186);

    dhcp_ = Control<QCheckBox>(kDhcp, QStringLiteral("Enable DHCP"));
    dhcp_->setGeometry(24, 26, 200, 22);
    connect(dhcp_, &QCheckBox::clicked, this, &CPrjNetwork::OnDhcpClicked);

    caption("MAC:", 270, 26, 40);
    macLabel_ = Control<QLabel>(kMac, QStringLiteral("01:23:45:67:89:AB"));
    macLabel_->setGeometry(312, 26, 180, 22);

    // Created in the page's member order (DNS first) so the ids and members line up.
    dns_ = Control<CIpAddressEdit>(kDns);
    gateway_ = Control<CIpAddressEdit>(kGateway);
    mask_ = Control<CIpAddressEdit>(kMask);
    ip_ = Control<CIpAddressEdit>(kIp);
    struct Row {
        const char* label;
        CIpAddressEdit* edit;
    };
    int y = 56;
    for (const Row& row : {Row{"IP address:", ip_}, Row{"Submask:", mask_},
                           Row{"Gateway:", gateway_}, Row{"DNS:", dns_}}) {
        caption(row.label, 40, y, 100);
        row.edit->setGeometry(144, y, 150, 22);
        y += 30;
    }
    QWidget::setTabOrder(ip_, mask_);
    QWidget::setTabOrder(mask_, gateway_);
    QWidget::setTabOrder(gateway_, dns_);
    submitNetwork_ = Control<QPushButton>(kSubmitNetwork, QStringLiteral("Submit"));
    submitNetwork_->setGeometry(400, 150, 88, 28);
    submitNetwork_->setAutoDefault(false);
    connect(submitNetwork_, &QPushButton::clicked, this, &CPrjNetwork::OnSubmitNetwork);

    passwords_.Build(this, "ON", "OFF");
    connect(passwords_.submit, &QPushButton::clicked, this, &CPrjNetwork::OnSubmitPasswords);
}

void CPrjNetwork::ReadControls() {
    dhcpEnabled_ = dhcp_->isChecked() ? 1 : 0;
    passwordEntries_ = passwords_.Read();
}

void CPrjNetwork::WriteControls() {
    dhcp_->setChecked(dhcpEnabled_ != 0);
    passwords_.Write(passwordEntries_);
    macLabel_->setText(QString::fromStdString(macText_));
}

void CPrjNetwork::ApplyEnablingRule() {
    for (int id : PageControls())
        findChild<QWidget*>(ControlName(id))->setEnabled(true);
    // With DHCP the projector takes its addresses from the server.
    for (CIpAddressEdit* edit : {ip_, mask_, gateway_, dns_})
        edit->setEnabled(dhcpEnabled_ == 0);
    // A second configuration while the first is being followed would go to an address the
    // projector may already have left.
    submitNetwork_->setEnabled(!relocating_);
}

void CPrjNetwork::ParseReply(const std::string& reply) {
    std::optional<NetworkReply> network = ParseNetworkReply(reply);
    std::optional<UserReply> user = network ? std::nullopt : ParseUserReply(reply);
    // A reply cut short or with a field that is not eight hex digits says nothing reliable:
    // shown, its zeros would pass for the projector's addresses and could be submitted back.
    // The page keeps what it had (disabled until a whole reply arrives).
    if (network && !network->complete)
        network.reset();
    if (user && reply.size() < kUserReplyLength)
        user.reset();
    if (!network && !user) {
        const bool failed = reply.empty() || ReplyContains(reply, "<result>timeout");
        const std::string reason = failed ? FailureReason(reply) : "cut short or unreadable";
        Notice("The projector's network reply was unusable (" + reason +
               "); the page shows what it had before.");
    }
    if (network) {
        ip_->SetAddress(network->config.ip);
        mask_->SetAddress(network->config.mask);
        gateway_->SetAddress(network->config.gateway);
        dns_->SetAddress(network->config.dns);
        dhcpEnabled_ = network->config.dhcp ? 1 : 0;
        ApplyEnablingRule();
    } else if (user) {
        passwordEntries_.adminAccess = IndexOfDigit(user->adminAccess);
        passwordEntries_.userAccess = IndexOfDigit(user->userAccess);
    }
    SettingsFrame* frame = Frame();
    if (frame && !frame->console().targetMacs.empty())
        macText_ = frame->console().targetMacs.front();
    WriteControls();
}

void CPrjNetwork::OnReply(const MsgCmd& slot) {
    if (!BeginsWithOk(slot.reply))
        ReportFailure(slot);
}

void CPrjNetwork::OnDhcpClicked() {
    ReadControls();
    ApplyEnablingRule();
}

void CPrjNetwork::OnSubmitPasswords() {
    ReadControls();
    // A typing mistake must never lock the operator out: nothing is sent.
    if (!passwordEntries_.Confirmed()) {
        ShowWarning(this, QString::fromLatin1(kConfirmPasswordError));
        return;
    }
    const std::optional<std::string> body = passwordEntries_.UserRecord();
    if (!body) {
        ShowWarning(this, QString::fromLatin1(kChooseAccessText));
        return;
    }
    // The hidden user row keeps the user access the projector reported; without it the
    // record would switch user access off.
    if (passwordEntries_.userAccess < 0) {
        ShowWarning(this, QStringLiteral("The projector did not report its user settings, so "
                                         "nothing was sent. Open the Network page again to "
                                         "read them."));
        return;
    }
    if (ShowWarning(this,
                    QStringLiteral("This sets the administrator password. This also clears the "
                                   "user password on the projector."),
                    true) != QMessageBox::Ok)
        return;
    Send(*body);
}

void CPrjNetwork::OnSubmitNetwork() {
    ReadControls();
    NetworkConfig config;
    config.dhcp = dhcpEnabled_ != 0;
    const auto ip = ip_->Address();
    const auto mask = mask_->Address();
    const auto gateway = gateway_->Address();
    const auto dns = dns_->Address();
    // An address that cannot be sent is refused before the operator is asked to confirm.
    if (!ip || !mask || !gateway || !dns) {
        ShowWarning(this, QString::fromLatin1(kBadAddressText));
        return;
    }
    if (!AskRelocate(this,
                     RelocateQuestion(config.dhcp, QString::fromStdString(DottedAddress(*ip)))))
        return;
    submitNetwork_->setEnabled(false);
    config.ip = *ip;
    config.mask = *mask;
    config.gateway = *gateway;
    config.dns = *dns;
    const std::string body = BuildNetworkRecord(config);

    SettingsFrame* frame = Frame();
    if (!frame)
        return;
    frame->FollowTable();
    Console& console = frame->console();
    const std::string address = console.targetIps.empty() ? std::string() : console.targetIps[0];
    if (address.empty()) {
        ShowWarning(this, QString::fromLatin1(kIpErrorText), true);
        return;
    }
    // Straight to the projector, never through the ring: the reply may never come once the
    // projector has moved, and nothing waits for it.
    HttpOptions options;
    options.port = console.profile.httpPort;
    console.background.Post(address, body, options);
    relocationTarget_ = config.dhcp ? std::string() : DottedAddress(config.ip);

    bool marked = false;
    {
        auto table = console.table.Lock();
        if (!console.targetMacs.empty()) {
            if (Info* record = table.Find(console.targetMacs[0])) {
                record->relocating = true;
                record->relocateTick = console.clock.TickMs();
                marked = true;
            }
        }
    }
    if (marked) {
        relocating_ = true;
        frame->RequestRelocationProbe();
    }
}

void CPrjNetwork::OnRelocationFound() {
    relocating_ = false;
}

void CPrjNetwork::OnRelocationLost() {
    const QString where = relocationTarget_.empty() ? QStringLiteral("its new address")
                                                    : QString::fromStdString(relocationTarget_);
    ShowWarning(this, QStringLiteral("The projector did not answer from %1.").arg(where), false,
                QStringLiteral("Check the address and the projector's network, then submit "
                               "again or search for projectors from the main window."));
    relocating_ = false;
    submitNetwork_->setEnabled(true);
}

}  // namespace vistrel
