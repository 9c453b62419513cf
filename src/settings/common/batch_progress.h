// The group dialog's progress bar (1099) and how pages drive it: before a page hands a
// request to every addressed projector it calls Begin with the number of requests, and each
// answer steps the bar by one. Half a second after the last answer the bar goes back to 0,
// unless the last answer asks it to stay full (the Alert page's bar shows its count).
// When the last answer is in, the bar says how it went: "12 done", or "10 done, 2 failed"
// with the failed projectors named; a bar with failures stays until the next Begin, so the
// operator can read it.
#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>
#include <string>
#include <vector>

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
    // One answer arrived. `failure` names the projector and why it failed ("10.0.0.3 (no
    // answer)"); empty for a success. With `settle` false a last answer leaves the bar full
    // until the next Begin.
    void Step(bool settle = true, const std::string& failure = {});

    // The failures of the current count, in the order they came.
    const std::vector<std::string>& Failures() const { return failures_; }

    int Position() const;
    int Total() const;
    QProgressBar* bar() const { return bar_; }

  signals:
    // The bar went back to 0 after its last answer.
    void settled();

  private:
    QProgressBar* bar_;
    QTimer settle_;
    void ShowOutcome();

    int answered_ = 0;
    int expected_ = 0;
    std::vector<std::string> failures_;
};

}  // namespace vistrel
