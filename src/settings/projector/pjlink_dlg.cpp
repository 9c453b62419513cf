#include "settings/projector/pjlink_dlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGraphicsOpacityEffect>
#include <QGroupBox>
#include <QInputDialog>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <mutex>

#include "controls/static_text.h"
#include "controls/text_fit.h"
#include "pjlink/pjlink_monitor.h"
#include "settings/common/dialog_frame.h"
#include "settings/common/field_width.h"
#include "settings/common/settings_page.h"

namespace vistrel {

namespace {

// While the projector warms up or cools down, its state is asked this often.
constexpr int kFollowMs = 2000;

const FrameColors& kColors = ProjectorFrameColors();

const QColor kFadedCaption(150, 170, 150);

const QString kUnknown = QStringLiteral("\u2014");

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

QString PowerText(pjlink::Power power) {
    switch (power) {
        case pjlink::Power::Standby:
            return QStringLiteral("Standby");
        case pjlink::Power::On:
            return QStringLiteral("On");
        case pjlink::Power::Cooling:
            return QStringLiteral("Cooling down");
        case pjlink::Power::WarmUp:
            return QStringLiteral("Warming up");
    }
    return kUnknown;
}

QString InputText(const pjlink::Input& input, const pjlink::Status& status) {
    for (const auto& [code, name] : status.inputNames) {
        if (code == input.Code() && !name.empty())
            return Q(name);
    }
    return Q(pjlink::InputLabel(input));
}

int MuteIndex(const pjlink::AvMute& mute) {
    if (mute.video && mute.audio)
        return CPjlinkDlg::kMuteBoth;
    return mute.video ? CPjlinkDlg::kMuteVideo
                      : (mute.audio ? CPjlinkDlg::kMuteAudio : CPjlinkDlg::kMuteOff);
}

// The lines that leave the projector in one AV mute choice, whatever it was before.
std::vector<std::string> MuteLines(int choice) {
    switch (choice) {
        case CPjlinkDlg::kMuteVideo:
            return {pjlink::BuildCommand(1, "AVMT", "11"), pjlink::BuildCommand(1, "AVMT", "20")};
        case CPjlinkDlg::kMuteAudio:
            return {pjlink::BuildCommand(1, "AVMT", "10"), pjlink::BuildCommand(1, "AVMT", "21")};
        case CPjlinkDlg::kMuteBoth:
            return {pjlink::BuildCommand(1, "AVMT", "31")};
        default:
            return {pjlink::BuildCommand(1, "AVMT", "30")};
    }
}

}  // namespace

// Hands an engine thread's answer to the dialog's thread, and to nobody once the dialog
// has gone: the engine may answer long after the operator closed it.
class CPjlinkDlg::Relay {
  public:
    explicit Relay(QObject* target) : target_(target) {}
    void Post(std::function<void()> call) {
        std::lock_guard lock(mutex_);
        if (target_)
            QMetaObject::invokeMethod(target_, std::move(call), Qt::QueuedConnection);
    }
    void Disconnect() {
        std::lock_guard lock(mutex_);
        target_ = nullptr;
    }

  private:
    std::mutex mutex_;
    QObject* target_;
};

CPjlinkDlg::CPjlinkDlg(QWidget* owner, pjlink::Monitor& monitor, const std::string& ip,
                       const std::string& groupName, const std::string& projectorName)
    : QDialog(owner), monitor_(monitor), ip_(ip), relay_(std::make_shared<Relay>(this)) {
    SetUpFrameWindow(this, QStringLiteral("CPjlinkDlg"), QStringLiteral("PJLink Projector"));
    BuildControls();
    BuildHeader(groupName, projectorName);
    follow_.setSingleShot(true);
    follow_.setInterval(kFollowMs);
    connect(&follow_, &QTimer::timeout, this, &CPjlinkDlg::Refresh);
    // What the polling last heard fills the page at once; the fresh answer follows.
    if (const auto polled = monitor_.StatusOf(ip_)) {
        status_ = *polled;
        answered_ = true;
    }
    ShowStatus();
    Refresh();
}

CPjlinkDlg::~CPjlinkDlg() {
    relay_->Disconnect();
}

void CPjlinkDlg::BuildHeader(const std::string& groupName, const std::string& projectorName) {
    auto label = [this](int id, const QString& text, int x, int top, int width) {
        return BuildHeaderLabel(this, kColors, id, text, x, top, width);
    };
    label(1113, QStringLiteral("IP:"), 12, 12, 50);
    label(1033, Q(ip_), 62, 12, 170);
    label(1038, QStringLiteral("Group:"), 240, 12, 56);
    label(1114, ShownProjectorText(groupName), 296, 12, 204);
    label(1115, QStringLiteral("Name:"), 12, 34, 50);
    nameValue_ = label(1039, ShownProjectorText(projectorName), 62, 34, 438);
    // A larger text size grows the whole dialog rather than cut its captions.
    FitToText(*this);
}

void CPjlinkDlg::BuildControls() {
    const FrameBoxes boxes = BuildFrameBoxes(this);
    QButtonGroup* sides = BuildSideButtons(this, kColors);
    // Network, alert and scheduler settings are the console's own projectors' alone.
    for (int id : {1025, 1026, 1027}) {
        QAbstractButton* side = sides->button(id);
        side->setEnabled(false);
        // Faded with its caption, so the panel shows at a glance what is not there.
        auto* fade = new QGraphicsOpacityEffect(side);
        fade->setOpacity(0.4);
        side->setGraphicsEffect(fade);
        if (auto* caption = findChild<CStaticText*>(ControlName(id + 4)))
            caption->setStyle(kFadedCaption, kColors.panel, 700);
    }

    QGroupBox* page = boxes.pageArea;
    auto box = [page](const QString& title, int x, int y, int w, int h) {
        auto* group = new QGroupBox(title, page);
        group->setGeometry(x, y, w, h);
        return group;
    };
    auto label = [](QWidget* parent, const QString& text, int x, int y, int w) {
        auto* l = new QLabel(text, parent);
        l->setGeometry(x, y, w, 20);
        return l;
    };
    auto button = [](QWidget* parent, const QString& text, int x, int y, int w) {
        auto* b = new QPushButton(text, parent);
        b->setGeometry(x, y, w, 26);
        b->setAutoDefault(false);
        return b;
    };

    QGroupBox* power = box(QStringLiteral("Power"), 10, 8, 236, 88);
    powerState_ = label(power, kUnknown, 12, 22, 212);
    powerState_->setObjectName(QStringLiteral("pjPowerState"));
    powerOn_ = button(power, QStringLiteral("Power ON"), 12, 50, 100);
    powerOff_ = button(power, QStringLiteral("Power OFF"), 122, 50, 100);
    connect(powerOn_, &QPushButton::clicked, this, [this] {
        SendCommand({pjlink::BuildCommand(1, "POWR", "1")}, QStringLiteral("Power on"));
    });
    connect(powerOff_, &QPushButton::clicked, this, [this] {
        SendCommand({pjlink::BuildCommand(1, "POWR", "0")}, QStringLiteral("Power off"));
    });

    QGroupBox* av = box(QStringLiteral("Picture and sound"), 10, 102, 236, 176);
    label(av, QStringLiteral("Input:"), 12, 26, 72);
    input_ = new QComboBox(av);
    input_->setGeometry(86, 24, 138, 24);
    connect(input_, &QComboBox::activated, this, [this](int index) {
        const QString code = input_->itemData(index).toString();
        SendCommand({pjlink::BuildCommand(1, "INPT", code.toStdString())},
                    QStringLiteral("Input %1").arg(input_->itemText(index)));
    });
    label(av, QStringLiteral("AV mute:"), 12, 58, 72);
    avMute_ = new QComboBox(av);
    avMute_->addItems({QStringLiteral("Off"), QStringLiteral("Video"), QStringLiteral("Audio"),
                       QStringLiteral("Video and audio")});
    avMute_->setGeometry(86, 56, 138, 24);
    connect(avMute_, &QComboBox::activated, this,
            [this](int index) { SendCommand(MuteLines(index), QStringLiteral("AV mute")); });
    freeze_ = new QCheckBox(QStringLiteral("Freeze the picture"), av);
    freeze_->setGeometry(12, 88, 212, 22);
    connect(freeze_, &QCheckBox::clicked, this, [this](bool on) {
        SendCommand({pjlink::BuildCommand(2, "FREZ", on ? "1" : "0")}, QStringLiteral("Freeze"));
    });
    const char* volumeNames[] = {"Speaker:", "Microphone:"};
    for (int mic = 0; mic < 2; ++mic) {
        const int y = 118 + mic * 28;
        label(av, QString::fromLatin1(volumeNames[mic]), 12, y + 2, 100);
        for (int up = 0; up < 2; ++up) {
            QPushButton* b = button(av, up ? QStringLiteral("Up") : QStringLiteral("Down"),
                                    up ? 170 : 114, y, 54);
            b->setAccessibleName(
                QStringLiteral("%1 volume %2")
                    .arg(mic ? QStringLiteral("Microphone") : QStringLiteral("Speaker"),
                         up ? QStringLiteral("up") : QStringLiteral("down")));
            volume_[static_cast<size_t>(mic * 2 + up)] = b;
            const std::string line = pjlink::BuildCommand(2, mic ? "MVOL" : "SVOL", up ? "1" : "0");
            connect(b, &QPushButton::clicked, this,
                    [this, line, name = b->accessibleName()] { SendCommand({line}, name); });
        }
    }

    QGroupBox* hours = box(QStringLiteral("Hours"), 10, 284, 236, 74);
    lamps_ = label(hours, kUnknown, 12, 20, 212);
    lamps_->setWordWrap(true);
    filter_ = label(hours, kUnknown, 12, 44, 212);

    QGroupBox* identity = box(QStringLiteral("Projector"), 256, 8, 242, 110);
    const char* identityNames[] = {"Maker:", "Model:", "Serial:", "Software:"};
    for (size_t i = 0; i < identity_.size(); ++i) {
        const int y = 22 + static_cast<int>(i) * 21;
        label(identity, QString::fromLatin1(identityNames[i]), 12, y, 74);
        identity_[i] = label(identity, kUnknown, 88, y, 144);
    }

    QGroupBox* errors = box(QStringLiteral("Status"), 256, 124, 242, 154);
    for (int i = 0; i < pjlink::kErrorItems; ++i) {
        const int y = 22 + i * 21;
        label(errors, QString::fromLatin1(pjlink::ErrorItemName(i)) + QLatin1Char(':'), 12, y, 110);
        errors_[static_cast<size_t>(i)] = label(errors, kUnknown, 124, y, 108);
    }
    classNote_ = label(page, QString(), 266, 286, 232);
    classNote_->setWordWrap(true);
    classNote_->resize(232, 36);
    refresh_ = button(page, QStringLiteral("Refresh"), 398, 328, 100);
    connect(refresh_, &QPushButton::clicked, this, &CPjlinkDlg::Refresh);
    password_ = button(page, QStringLiteral("Password..."), 290, 328, 100);
    password_->hide();
    connect(password_, &QPushButton::clicked, this, [this] {
        bool ok = false;
        const QString typed = QInputDialog::getText(
            this, QStringLiteral("PJLink Password"),
            QStringLiteral("Password of this projector (empty: the fleet's):"), QLineEdit::Password,
            {}, &ok);
        if (ok)
            SetPassword(typed);
    });

    auto* statusCaption = new QLabel(QStringLiteral("Status:"), this);
    statusCaption->setGeometry(16, 446, 50, 22);
    statusLine_ = new QLabel(QStringLiteral("Busy"), this);
    statusLine_->setObjectName(ControlName(1139));
    statusLine_->setGeometry(68, 446, 110, 22);
    notice_ = new QLabel(this);
    notice_->setObjectName(QStringLiteral("notice"));
    notice_->setGeometry(180, 440, kFrameDialogSize.width() - 96 - 188, 34);
    notice_->setWordWrap(true);
    BuildOkButton(this);
}

QPushButton* CPjlinkDlg::VolumeButton(bool microphone, bool up) const {
    return volume_[static_cast<size_t>((microphone ? 2 : 0) + (up ? 1 : 0))];
}

QPushButton* CPjlinkDlg::SideButton(int id) const {
    return findChild<QPushButton*>(ControlName(id));
}

void CPjlinkDlg::SetPasswordSetter(PasswordSetter setter) {
    setPassword_ = std::move(setter);
    password_->setVisible(static_cast<bool>(setPassword_));
}

bool CPjlinkDlg::SetPassword(const QString& password) {
    if (!setPassword_)
        return false;
    std::string error;
    if (!setPassword_(password.toStdString(), &error)) {
        notice_->setText(QStringLiteral("Password not kept: %1").arg(Q(error)));
        return false;
    }
    Refresh();
    return true;
}

void CPjlinkDlg::Refresh() {
    follow_.stop();
    ++pending_;
    UpdateBusy();
    monitor_.Query(ip_, [relay = relay_, this](pjlink::Failure failure, pjlink::Status status) {
        relay->Post([this, failure, status = std::move(status)] { OnQuery(failure, status); });
    });
}

void CPjlinkDlg::SendCommand(std::vector<std::string> lines, const QString& what) {
    ++pending_;
    UpdateBusy();
    notice_->clear();
    monitor_.Command(
        {ip_}, [lines = std::move(lines)](const std::string&, std::string&) { return lines; },
        [relay = relay_, this, what](std::vector<pjlink::CommandResult> results) {
            relay->Post([this, what, results = std::move(results)] {
                --pending_;
                if (results.empty() || !results.front().ok) {
                    const std::string why =
                        results.empty() ? std::string("not sent") : results.front().text;
                    notice_->setText(QStringLiteral("%1: %2").arg(what, Q(why)));
                }
                // The page shows what the projector now says, not what was asked.
                Refresh();
            });
        });
}

void CPjlinkDlg::OnQuery(pjlink::Failure failure, const pjlink::Status& status) {
    --pending_;
    if (failure == pjlink::Failure::Stopped) {
        UpdateBusy();
        return;
    }
    if (failure == pjlink::Failure::None) {
        status_ = status;
        answered_ = true;
        // A refused command's notice stays; an earlier failure to reach it is over.
        if (notice_->property("unreachable").toBool()) {
            notice_->clear();
            notice_->setProperty("unreachable", false);
        }
    } else if (failure == pjlink::Failure::PasswordRefused) {
        notice_->setText(setPassword_ ? QStringLiteral("PJLink password refused: set it with "
                                                       "Password...")
                                      : QStringLiteral("PJLink password refused: set it under "
                                                       "Tools > PJLink Password..."));
        notice_->setProperty("unreachable", true);
    } else {
        notice_->setText(QStringLiteral("The projector does not answer (%1).")
                             .arg(QString::fromLatin1(pjlink::FailureText(failure))));
        notice_->setProperty("unreachable", true);
    }
    lastFailure_ = failure;
    ShowStatus();
    if (failure == pjlink::Failure::None && status_.power &&
        (*status_.power == pjlink::Power::WarmUp || *status_.power == pjlink::Power::Cooling))
        follow_.start();
    emit refreshed();
}

void CPjlinkDlg::UpdateBusy() {
    if (pending_ > 0) {
        statusLine_->setText(QStringLiteral("Busy"));
    } else if (lastFailure_ == pjlink::Failure::PasswordRefused) {
        statusLine_->setText(QStringLiteral("Refused"));
    } else if (lastFailure_ != pjlink::Failure::None) {
        statusLine_->setText(QStringLiteral("Not answering"));
    } else {
        statusLine_->setText(QStringLiteral("Ready"));
    }
}

void CPjlinkDlg::ShowStatus() {
    UpdateBusy();
    const pjlink::Status& s = status_;
    const bool reachable = answered_ && lastFailure_ == pjlink::Failure::None;
    const bool class2 = answered_ && s.commandClass >= 2;
    const bool on = s.power == pjlink::Power::On;

    if (!s.name.empty())
        nameValue_->setText(ShownProjectorText(s.name));
    powerState_->setText(s.power ? PowerText(*s.power) : kUnknown);
    // Not while it warms up or cools down: the projector refuses then.
    const bool settled =
        !s.power || *s.power == pjlink::Power::On || *s.power == pjlink::Power::Standby;
    powerOn_->setEnabled(reachable && settled && !on);
    powerOff_->setEnabled(reachable && settled && s.power != pjlink::Power::Standby);

    input_->clear();
    for (const pjlink::Input& in : s.inputs)
        input_->addItem(InputText(in, s), Q(in.Code()));
    if (s.input) {
        const int at = input_->findData(Q(s.input->Code()));
        if (at >= 0) {
            input_->setCurrentIndex(at);
        } else {
            // An input the list did not give: shown, so the page does not lie.
            input_->addItem(InputText(*s.input, s), Q(s.input->Code()));
            input_->setCurrentIndex(input_->count() - 1);
        }
    } else {
        input_->setCurrentIndex(-1);
    }
    input_->setEnabled(reachable && on && input_->count() > 0);
    avMute_->setCurrentIndex(s.avMute ? MuteIndex(*s.avMute) : -1);
    avMute_->setEnabled(reachable && on);
    freeze_->setChecked(s.freeze.value_or(false));
    freeze_->setEnabled(reachable && on && class2);
    for (QPushButton* b : volume_)
        b->setEnabled(reachable && on && class2);
    classNote_->setText(!answered_ ? QString()
                        : class2   ? QStringLiteral("PJLink class 2")
                                   : QStringLiteral("PJLink class 1: no freeze, volume, serial "
                                                      "or filter hours"));

    QStringList lamps;
    for (size_t i = 0; i < s.lamps.size(); ++i) {
        lamps << QStringLiteral("Lamp %1: %2 h%3")
                     .arg(i + 1)
                     .arg(s.lamps[i].hours)
                     .arg(s.lamps[i].on ? QStringLiteral(" (on)") : QString());
    }
    lamps_->setText(lamps.isEmpty() ? QStringLiteral("Lamp: %1").arg(kUnknown)
                                    : lamps.join(QStringLiteral(", ")));
    filter_->setText(QStringLiteral("Filter: %1")
                         .arg(s.filterHours          ? QStringLiteral("%1 h").arg(*s.filterHours)
                              : class2 || !answered_ ? kUnknown
                                                     : QStringLiteral("not reported")));

    // Warning and error in colours that read on the window's own background, light or dark.
    const bool light = palette().color(QPalette::Window).lightnessF() >= 0.5;
    const QColor warning = light ? QColor(0x9c, 0x57, 0x00) : QColor(0xff, 0xb7, 0x4d);
    const QColor error = light ? QColor(0xb3, 0x00, 0x1b) : QColor(0xff, 0x6b, 0x6b);
    for (int i = 0; i < pjlink::kErrorItems; ++i) {
        QLabel* l = errors_[static_cast<size_t>(i)];
        const int state = s.errors ? (*s.errors)[static_cast<size_t>(i)] : -1;
        QPalette p = l->palette();
        p.setColor(QPalette::WindowText, palette().color(QPalette::WindowText));
        QFont f = l->font();
        f.setBold(state >= 1);
        if (state == 1)
            p.setColor(QPalette::WindowText, warning);
        else if (state == 2)
            p.setColor(QPalette::WindowText, error);
        l->setPalette(p);
        l->setFont(f);
        l->setText(state == 0   ? QStringLiteral("Fine")
                   : state == 1 ? QStringLiteral("Warning")
                   : state == 2 ? QStringLiteral("Error")
                                : kUnknown);
    }

    const std::string* identity[] = {&s.maker, &s.model, &s.serial, &s.software};
    for (size_t i = 0; i < identity_.size(); ++i) {
        const bool class2Only = i >= 2;
        identity_[i]->setText(!identity[i]->empty() ? ShownProjectorText(*identity[i])
                              : class2Only && answered_ && !class2 ? QStringLiteral("not reported")
                                                                   : kUnknown);
    }
}

void CPjlinkDlg::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    QPainter painter(this);
    PaintFrame(painter, *this, kColors);
}

}  // namespace vistrel
