#include "app/refresh_dialog.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "controls/message_box.h"
#include "protocol/setting_catalog.h"

namespace vistrel {

CRefreshDlg::CRefreshDlg(uint32_t intervalMs, QWidget* parent)
    : QDialog(parent), seconds(intervalMs / 1000) {
    setObjectName(QStringLiteral("refreshDialog"));
    setWindowTitle(QStringLiteral("Set Interval"));

    auto* box = new QGroupBox(QStringLiteral("Refresh interval"), this);
    auto* label = new QLabel(QStringLiteral("Interval (s):"), box);
    edit_ = new QLineEdit(QString::number(seconds), box);
    edit_->setObjectName(QStringLiteral("edit1016"));
    edit_->installEventFilter(this);
    label->setBuddy(edit_);

    auto* upDown = new QWidget(box);
    upDown->setObjectName(QStringLiteral("spin1018"));
    up_ = new QToolButton(upDown);
    up_->setArrowType(Qt::UpArrow);
    up_->setObjectName(QStringLiteral("spin1018Up"));
    down_ = new QToolButton(upDown);
    down_->setArrowType(Qt::DownArrow);
    down_->setObjectName(QStringLiteral("spin1018Down"));
    for (QToolButton* arrow : {up_, down_}) {
        arrow->setAutoRepeat(true);
        arrow->setFocusPolicy(Qt::NoFocus);
        arrow->setFixedSize(16, 11);
    }
    connect(up_, &QToolButton::clicked, this, &CRefreshDlg::StepUp);
    connect(down_, &QToolButton::clicked, this, &CRefreshDlg::StepDown);
    auto* arrows = new QVBoxLayout(upDown);
    arrows->setContentsMargins(0, 0, 0, 0);
    arrows->setSpacing(0);
    arrows->addWidget(up_);
    arrows->addWidget(down_);

    auto* row = new QHBoxLayout(box);
    row->addWidget(label);
    row->addWidget(edit_, 1);
    row->setSpacing(2);
    row->addWidget(upDown);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("okButton"));
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancelButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, &CRefreshDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(box);
    layout->addWidget(buttons);
    setMinimumWidth(260);
}

void CRefreshDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    edit_->setFocus();
    edit_->selectAll();
}

int64_t CRefreshDlg::ParseSeconds(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || trimmed.size() > 10)
        return -1;
    for (const QChar c : trimmed) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return -1;
    }
    const qulonglong value = trimmed.toULongLong();
    return value > 0xFFFFFFFFull ? -1 : static_cast<int64_t>(value);
}

void CRefreshDlg::Step(int delta) {
    // The arrows move within their range from whatever the edit holds now.
    int64_t value = ParseSeconds(edit_->text());
    if (value < 0)
        value = 0;
    value = std::clamp<int64_t>(value + delta, kStepMin, kStepMax);
    edit_->setText(QString::number(value));
}

void CRefreshDlg::StepUp() {
    Step(1);
}

void CRefreshDlg::StepDown() {
    Step(-1);
}

bool CRefreshDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == edit_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            Step(key == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CRefreshDlg::accept() {
    const int64_t value = ParseSeconds(edit_->text());
    if (value < 0) {
        ShowInformation(this, QStringLiteral("Please enter a positive integer."));
        edit_->setFocus();
        edit_->selectAll();
        return;
    }
    // Larger values would wrap when turned into the timer's milliseconds.
    if (value > kSecondsLimit) {
        ShowInformation(this, QString::fromStdString(RangeMessage(kStepMin, kSecondsLimit)));
        edit_->setFocus();
        edit_->selectAll();
        return;
    }
    seconds = static_cast<uint32_t>(value);
    QDialog::accept();
}

}  // namespace vistrel
