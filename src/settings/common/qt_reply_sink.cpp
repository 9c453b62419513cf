#include "settings/common/qt_reply_sink.h"

#include <QMetaObject>

namespace vistrel {

QtReplySink::QtReplySink(QObject* target, PostHandler onPost, DropHandler onDropped)
    : target_(target), onPost_(std::move(onPost)), onDropped_(std::move(onDropped)) {}

void QtReplySink::Post(uint32_t message, uintptr_t wparam, intptr_t lparam) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!target_ || !onPost_)
        return;
    // Posting an event to a live object is safe from any thread; the mutex keeps the target
    // alive for that moment, since the owner disconnects before it is destroyed.
    QMetaObject::invokeMethod(
        target_, [handler = onPost_, message, wparam, lparam] { handler(message, wparam, lparam); },
        Qt::QueuedConnection);
}

void QtReplySink::Dropped(const std::string& body) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!target_ || !onDropped_)
        return;
    QMetaObject::invokeMethod(
        target_, [handler = onDropped_, body] { handler(body); }, Qt::QueuedConnection);
}

void QtReplySink::Disconnect() {
    std::lock_guard<std::mutex> lock(mutex_);
    target_ = nullptr;
}

ReplySinkHolder::ReplySinkHolder(QObject* target, QtReplySink::PostHandler onPost,
                                 QtReplySink::DropHandler onDropped)
    : sink_(std::make_shared<QtReplySink>(target, std::move(onPost), std::move(onDropped))) {}

ReplySinkHolder::~ReplySinkHolder() {
    sink_->Disconnect();
}

}  // namespace vistrel
