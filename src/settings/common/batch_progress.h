// The group dialog's progress bar (1099) and how pages drive it: before a page hands a
// request to every addressed projector it calls Begin with the number of requests, and each
// answer steps the bar by one. Half a second after the last answer the bar goes back to 0,
// unless the last answer asks it to stay full (the Alert page's bar shows its count).
#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>

class QProgressBar;

namespace vistrel {

inline constexpr std::chrono::milliseconds kProgressSettle{500};

class BatchProgress : public QObject {
    Q_OBJECT
  public:
    BatchProgress(QProgressBar* bar, QObject* parent);

    // Range 0..count, position 0. While answers of an earlier send are still outstanding
    // the range grows by `count` instead, so the bar never claims done too early.
    void Begin(size_t count);
    // One answer arrived (successful or not). With `settle` false a last answer leaves the
    // bar full until the next Begin.
    void Step(bool settle = true);

    int Position() const;
    int Total() const;
    QProgressBar* bar() const { return bar_; }

  signals:
    // The bar went back to 0 after its last answer.
    void settled();

  private:
    QProgressBar* bar_;
    QTimer settle_;
    int answered_ = 0;
    int expected_ = 0;
};

}  // namespace vistrel
