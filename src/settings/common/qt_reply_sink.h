// How a settings window owns requests: the ring's worker thread posts to a QtReplySink, which
// queues the call to the window's own thread. The window holds the sink through a
// ReplySinkHolder, which disconnects it when the window goes, so a late reply or drop notice
// never reaches a destroyed widget.
#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "protocol/reply_sink.h"

namespace vistrel {

class QtReplySink final : public ReplySink {
  public:
    using PostHandler = std::function<void(uint32_t message, uintptr_t wparam, intptr_t lparam)>;
    using DropHandler = std::function<void(const std::string& body)>;

    // The handlers run on `target`'s thread, and only while it lives and is connected.
    QtReplySink(QObject* target, PostHandler onPost, DropHandler onDropped = {});

    void Post(uint32_t message, uintptr_t wparam, intptr_t lparam) override;
    void Dropped(const std::string& body) override;
    // After this returns no handler is queued any more; those already queued still run
    // while the target lives (Qt drops them with the target).
    void Disconnect();

  private:
    std::mutex mutex_;
    QObject* target_;
    PostHandler onPost_;
    DropHandler onDropped_;
};

// A member of the owning widget: builds the sink, hands it out weakly, and disconnects it in
// its destructor, which runs before the widget's QObject part is torn down.
class ReplySinkHolder {
  public:
    ReplySinkHolder(QObject* target, QtReplySink::PostHandler onPost,
                    QtReplySink::DropHandler onDropped = {});
    ~ReplySinkHolder();
    ReplySinkHolder(const ReplySinkHolder&) = delete;
    ReplySinkHolder& operator=(const ReplySinkHolder&) = delete;

    std::weak_ptr<ReplySink> Weak() const { return sink_; }

  private:
    std::shared_ptr<QtReplySink> sink_;
};

}  // namespace vistrel
