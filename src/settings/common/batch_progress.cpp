#include "settings/common/batch_progress.h"

#include <QProgressBar>
#include <QStringList>

namespace vistrel {

BatchProgress::BatchProgress(QProgressBar* bar, QObject* parent) : QObject(parent), bar_(bar) {
    settle_.setSingleShot(true);
    settle_.setInterval(kProgressSettle);
    connect(&settle_, &QTimer::timeout, this, [this] {
        answered_ = 0;
        expected_ = 0;
        failures_.clear();
        bar_->setValue(0);
        bar_->setTextVisible(false);
        bar_->setToolTip({});
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
        failures_.clear();
        bar_->setTextVisible(false);
        bar_->setToolTip({});
    } else {
        expected_ += n;
    }
    bar_->setRange(0, expected_);
    bar_->setValue(answered_);
}

void BatchProgress::Step(bool settle, const std::string& failure) {
    if (answered_ >= expected_)
        return;
    ++answered_;
    if (!failure.empty())
        failures_.push_back(failure);
    bar_->setValue(answered_);
    if (answered_ != expected_)
        return;
    ShowOutcome();
    // A failure stays on the bar until the next send: it must not vanish before it is read.
    if (settle && failures_.empty())
        settle_.start();
}

void BatchProgress::ShowOutcome() {
    constexpr size_t kNamed = 2;
    const int failed = static_cast<int>(failures_.size());
    QString text = QStringLiteral("%1 done").arg(expected_ - failed);
    QStringList all;
    for (const std::string& failure : failures_)
        all << QString::fromStdString(failure);
    if (failed > 0) {
        text += QStringLiteral(", %1 failed: ").arg(failed);
        text += all.mid(0, kNamed).join(QStringLiteral("; "));
        if (all.size() > static_cast<qsizetype>(kNamed))
            text +=
                QStringLiteral("; and %1 more").arg(all.size() - static_cast<qsizetype>(kNamed));
    }
    // The bar's format treats "%" as a placeholder.
    bar_->setFormat(QString(text).replace(QLatin1Char('%'), QStringLiteral("%%")));
    bar_->setTextVisible(true);
    bar_->setToolTip(all.join(QLatin1Char('\n')));
}

int BatchProgress::Position() const {
    return bar_->value();
}

int BatchProgress::Total() const {
    return bar_->maximum();
}

}  // namespace vistrel
