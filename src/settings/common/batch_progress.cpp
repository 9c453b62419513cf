#include "settings/common/batch_progress.h"

#include <QProgressBar>

namespace vistrel {

BatchProgress::BatchProgress(QProgressBar* bar, QObject* parent) : QObject(parent), bar_(bar) {
    settle_.setSingleShot(true);
    settle_.setInterval(kProgressSettle);
    connect(&settle_, &QTimer::timeout, this, [this] {
        answered_ = 0;
        expected_ = 0;
        bar_->setValue(0);
        emit settled();
    });
}

void BatchProgress::Begin(size_t count) {
    const int n = static_cast<int>(count);
    if (answered_ >= expected_) {
        // Idle, or waiting to go back to 0: a fresh count.
        settle_.stop();
        answered_ = 0;
        expected_ = n;
    } else {
        expected_ += n;
    }
    bar_->setRange(0, expected_);
    bar_->setValue(answered_);
}

void BatchProgress::Step(bool settle) {
    if (answered_ >= expected_)
        return;
    ++answered_;
    bar_->setValue(answered_);
    if (answered_ == expected_ && settle)
        settle_.start();
}

int BatchProgress::Position() const {
    return bar_->value();
}

int BatchProgress::Total() const {
    return bar_->maximum();
}

}  // namespace vistrel
