#include "settings/common/up_down.h"

#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "protocol/setting_catalog.h"

namespace vistrel {

int StepNumberField(QLineEdit& edit, const SettingDef& def, int& held, int delta,
                    const std::function<void(int value)>& send, int step) {
    bool ok = false;
    const int typed = edit.text().trimmed().toInt(&ok);
    if (ok && InRange(def, typed))
        held = typed;
    edit.setText(QString::number(held));
    if (step <= 0)
        step = def.step > 0 ? def.step : 1;
    const int move = delta > 0 ? step : -step;
    if (!InRange(def, held + move))
        return 0;
    send(held + move);
    return move;
}

CUpDown::CUpDown(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    up_ = new QToolButton(this);
    up_->setArrowType(Qt::UpArrow);
    up_->setObjectName(QStringLiteral("up"));
    down_ = new QToolButton(this);
    down_->setArrowType(Qt::DownArrow);
    down_->setObjectName(QStringLiteral("down"));
    for (QToolButton* b : {up_, down_}) {
        b->setFocusPolicy(Qt::NoFocus);
        b->setAutoRepeat(true);
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        layout->addWidget(b);
    }
    connect(up_, &QToolButton::clicked, this, [this] { Step(+1); });
    connect(down_, &QToolButton::clicked, this, [this] { Step(-1); });
}

void CUpDown::setRange(int low, int high) {
    low_ = std::min(low, high);
    high_ = std::max(low, high);
    position_ = std::clamp(position_, low_, high_);
}

int CUpDown::position() const {
    if (buddy_) {
        bool ok = false;
        const int value = buddy_->text().trimmed().toInt(&ok);
        if (ok)
            return std::clamp(value, low_, high_);
    }
    return position_;
}

void CUpDown::setPosition(int value) {
    position_ = std::clamp(value, low_, high_);
    if (buddy_)
        buddy_->setText(QString::number(position_));
}

void CUpDown::Step(int delta) {
    if (!isEnabled())
        return;
    if (handler_)
        delta = handler_(delta);
    setPosition(position() + delta);
}

}  // namespace vistrel
