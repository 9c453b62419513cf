#include "protocol/background_posts.h"

#include <vector>

namespace vistrel {

BackgroundPosts::~BackgroundPosts() {
    CancelAll();
}

bool BackgroundPosts::Post(const std::string& ip, const std::string& body,
                           const HttpOptions& options) {
    return Run([ip, body, options](const std::shared_ptr<CancelToken>& cancel) {
        CXHttpRequest request(ip, body, options, cancel);
        std::string reply;
        request.Send("POST", reply);
    });
}

bool BackgroundPosts::Run(Job job) {
    std::lock_guard lock(mutex_);
    if (cancel_->IsCancelled())
        return false;
    Reap();
    auto worker = std::make_unique<Worker>();
    Worker* raw = worker.get();
    raw->thread = std::thread([raw, job = std::move(job), cancel = cancel_] {
        job(cancel);
        raw->done.store(true, std::memory_order_release);
    });
    workers_.push_back(std::move(worker));
    return true;
}

void BackgroundPosts::Reap() {
    for (auto it = workers_.begin(); it != workers_.end();) {
        if ((*it)->done.load(std::memory_order_acquire)) {
            (*it)->thread.join();
            it = workers_.erase(it);
        } else {
            ++it;
        }
    }
}

void BackgroundPosts::CancelAll() {
    std::list<std::unique_ptr<Worker>> workers;
    {
        std::lock_guard lock(mutex_);
        cancel_->Cancel();
        workers.swap(workers_);
    }
    for (auto& worker : workers)
        worker->thread.join();
}

size_t BackgroundPosts::Running() const {
    std::lock_guard lock(mutex_);
    size_t running = 0;
    for (const auto& worker : workers_) {
        if (!worker->done.load(std::memory_order_acquire))
            ++running;
    }
    return running;
}

}  // namespace vistrel
