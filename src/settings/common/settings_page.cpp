#include "settings/common/settings_page.h"

#include <QKeyEvent>
#include <QLineEdit>

#include "controls/message_box.h"
#include "controls/set_button.h"
#include "protocol/setting_catalog.h"
#include "settings/common/failure_text.h"
#include "settings/common/settings_frame.h"
#include "settings/common/up_down.h"

namespace vistrel {

QString ControlName(int id) {
    return QStringLiteral("c%1").arg(id);
}

CSettingsPage::CSettingsPage(PageFrame& frame, QWidget* frameWidget, QWidget* parent)
    : QWidget(parent),
      frame_(frame),
      frameWidget_(frameWidget),
      sink_(
          this,
          [this](uint32_t message, uintptr_t wparam, intptr_t) { HandlePost(message, wparam); },
          [this](const std::string& body) { OnDropped(body); }) {}

void CSettingsPage::ParseReply(const std::string&) {}

void CSettingsPage::ShowNotAnswering() {}

void CSettingsPage::OnReply(const MsgCmd&) {}

void CSettingsPage::OnDropped(const std::string&) {}

void CSettingsPage::HandlePost(uint32_t message, uintptr_t wparam) {
    if (message != kMsgReply)
        return;
    PageFrame* frame = Frame();
    if (!frame)
        return;
    OnReply(frame->ReadSlot(static_cast<uint32_t>(wparam)));
}

PageFrame* CSettingsPage::Frame() const {
    return frameWidget_ ? &frame_ : nullptr;
}

void CSettingsPage::Send(const std::string& body) {
    if (PageFrame* frame = Frame())
        frame->EnqueueFor(body, Owner());
}

void CSettingsPage::Notice(const std::string& text) {
    if (PageFrame* frame = Frame())
        frame->ShowNotice(text);
}

void CSettingsPage::ReportFailure(const MsgCmd& slot) {
    Notice(FailureNotice(slot));
}

bool CSettingsPage::ReadInt(QLineEdit* edit, int low, int high, int& out, bool tell) {
    bool ok = false;
    const QString text = edit->text().trimmed();
    const int value = text.toInt(&ok);
    QString message;
    if (!ok) {
        message = QStringLiteral("Please enter an integer.");
    } else if (value < low || value > high) {
        message = QString::fromStdString(RangeMessage(low, high));
    } else {
        out = value;
        return true;
    }
    if (!tell)
        return false;
    ShowMessageBox(this, QMessageBox::Warning, message, QMessageBox::Ok,
                   QStringLiteral("validationMessage"));
    edit->setFocus();
    edit->selectAll();
    return false;
}

NumberField CSettingsPage::MakeNumberField(int editId, int upDownId, int setId, int low, int high) {
    NumberField field;
    field.edit = Control<QLineEdit>(editId);
    if (upDownId != 0) {
        field.upDown = Control<CUpDown>(upDownId);
        field.upDown->setBuddy(field.edit);
        field.upDown->setRange(low, high);
    }
    if (setId != 0)
        field.set = Control<CSetButton>(setId);
    return field;
}

void CSettingsPage::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            event->accept();
            return;
        default:
            QWidget::keyPressEvent(event);
    }
}

// --- CProjectorPage ----------------------------------------------------------------------------

CProjectorPage::CProjectorPage(SettingsFrame& frame, QWidget* frameWidget, QWidget* parent)
    : CSettingsPage(frame, frameWidget, parent), projectorFrame_(frame) {}

SettingsFrame* CProjectorPage::Frame() const {
    return CSettingsPage::Frame() ? &projectorFrame_ : nullptr;
}

void CProjectorPage::RequestFreshState() {
    if (SettingsFrame* frame = Frame()) {
        frame->Flush();
        frame->QueryControl();
    }
}

}  // namespace vistrel
