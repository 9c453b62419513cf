#include "protocol/batch_sender.h"

#include <deque>
#include <list>

namespace vistrel {

BatchResult::BatchResult(std::vector<MsgCmd> entries)
    : size_(entries.size()), entries_(std::move(entries)), answered_(size_, false) {}

MsgCmd BatchResult::Entry(size_t index) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_.at(index);
}

std::string BatchResult::Reply(size_t index) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_.at(index).reply;
}

bool BatchResult::Answered(size_t index) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return answered_.at(index);
}

size_t BatchResult::AnsweredCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return answeredCount_;
}

bool BatchResult::WaitAll(std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return answeredCv_.wait_for(lock, timeout, [this] { return toldCount_ >= size_; });
}

MsgCmd BatchResult::Request(size_t index) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_[index];
}

std::shared_ptr<ReplySink> BatchResult::Complete(size_t index, std::string reply,
                                                 uint32_t& message) {
    std::lock_guard<std::mutex> lock(mutex_);
    MsgCmd& entry = entries_[index];
    entry.reply = std::move(reply);
    if (!answered_[index]) {
        answered_[index] = true;
        ++answeredCount_;
    }
    message = entry.message;
    return entry.owner.lock();
}

void BatchResult::Told() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++toldCount_;
    }
    // A waiter that wakes now finds every notice already posted.
    answeredCv_.notify_all();
}

namespace {

struct Job {
    std::shared_ptr<BatchResult> batch;
    size_t index;
};

// How long Stop waits for cancelled sends to return before it leaves their threads behind.
constexpr std::chrono::milliseconds kCancelWait{1000};

}  // namespace

// Shared by the sender and its threads, so a thread that outlives the sender still has
// everything it touches.
struct BatchSender::Pool {
    Pool(RequestSender s, size_t max, ThreadStarter starter, std::shared_ptr<HttpEngine> e)
        : sender(std::move(s)),
          maxThreads(max),
          threadStarter(std::move(starter)),
          engine(std::move(e)) {}

    const RequestSender sender;
    const size_t maxThreads;
    const ThreadStarter threadStarter;
    const std::shared_ptr<HttpEngine> engine;
    std::mutex mutex;
    std::condition_variable cv;
    std::deque<Job> queue;
    // Batches with a send in progress, once per send, so Stop can cancel them.
    std::list<std::shared_ptr<BatchResult>> active;
    size_t alive = 0;
    size_t running = 0;  // sends in progress: on pool threads, or in the engine
    bool stopping = false;
};

BatchSender::BatchSender(std::shared_ptr<HttpEngine> engine)
    : pool_(std::make_shared<Pool>(nullptr, 0, nullptr, std::move(engine))) {}

BatchSender::BatchSender(RequestSender sender, size_t maxThreads, ThreadStarter threadStarter)
    : pool_(std::make_shared<Pool>(std::move(sender), maxThreads == 0 ? 1 : maxThreads,
                                   std::move(threadStarter), nullptr)) {}

BatchSender::~BatchSender() {
    Stop(std::chrono::steady_clock::now());
}

std::shared_ptr<BatchResult> BatchSender::Send(std::vector<MsgCmd> entries, const std::string& body,
                                               const std::weak_ptr<ReplySink>& owner,
                                               BatchResult::OnAnswer onAnswer) {
    for (MsgCmd& entry : entries)
        entry.body = body;
    return SendEach(std::move(entries), owner, std::move(onAnswer));
}

std::shared_ptr<BatchResult> BatchSender::SendEach(std::vector<MsgCmd> entries,
                                                   const std::weak_ptr<ReplySink>& owner,
                                                   BatchResult::OnAnswer onAnswer) {
    for (MsgCmd& entry : entries) {
        entry.message = kMsgReply;
        entry.owner = owner;
    }
    auto batch = std::make_shared<BatchResult>(std::move(entries));
    batch->onAnswer_ = std::move(onAnswer);
    if (pool_->engine) {
        SendThroughEngine(batch);
        return batch;
    }
    std::vector<Job> unsent;
    {
        std::lock_guard<std::mutex> lock(pool_->mutex);
        if (pool_->stopping)
            return batch;
        for (size_t i = 0; i < batch->Size(); ++i)
            pool_->queue.push_back(Job{batch, i});
        // Start threads only while queued jobs outnumber the threads that are free for them.
        size_t free = pool_->alive - pool_->running;
        while (pool_->alive < pool_->maxThreads && free < pool_->queue.size()) {
            std::thread thread =
                StartThread(pool_->threadStarter, "batch sender", [pool = pool_] { Run(pool); });
            if (!thread.joinable())
                break;  // fewer threads: the ones there are take the rest in turn
            threads_.push_back(std::move(thread));
            ++pool_->alive;
            ++free;
        }
        if (pool_->alive == 0) {
            // Not one thread: the entries are answered empty rather than left waiting.
            for (const Job& job : pool_->queue)
                unsent.push_back(job);
            pool_->queue.clear();
            pool_->running += unsent.size();
        }
        pool_->cv.notify_all();
    }
    for (Job& job : unsent)
        Finish(*pool_, job.batch, job.index, std::string());
    return batch;
}

void BatchSender::SendThroughEngine(const std::shared_ptr<BatchResult>& batch) {
    {
        std::lock_guard<std::mutex> lock(pool_->mutex);
        if (pool_->stopping || batch->Size() == 0)
            return;
        pool_->running += batch->Size();
        batch->enginePending_ = batch->Size();
        pool_->active.push_back(batch);
    }
    for (size_t i = 0; i < batch->Size(); ++i) {
        const MsgCmd request = batch->Request(i);
        pool_->engine->Post(
            request.ip, request.body,
            [pool = pool_, batch, i](std::string reply) {
                Finish(*pool, batch, i, std::move(reply));
            },
            batch->cancel_);
    }
}

// One entry is answered: its owner is told unless the sender has stopped meanwhile.
void BatchSender::Finish(Pool& pool, const std::shared_ptr<BatchResult>& batch, size_t index,
                         std::string reply) {
    bool notify;
    {
        std::lock_guard<std::mutex> lock(pool.mutex);
        notify = !pool.stopping;
    }
    if (notify) {
        uint32_t message = 0;
        std::shared_ptr<ReplySink> owner = batch->Complete(index, std::move(reply), message);
        if (batch->onAnswer_)
            batch->onAnswer_(batch->Entry(index));
        if (owner)
            owner->Post(message, index, 0);
        batch->Told();
    }
    std::lock_guard<std::mutex> lock(pool.mutex);
    --pool.running;
    // An engine batch leaves the cancellable list once no entry of it is in flight.
    if (pool.engine && --batch->enginePending_ == 0)
        pool.active.remove(batch);
    pool.cv.notify_all();
}

void BatchSender::Run(std::shared_ptr<Pool> pool) {
    std::unique_lock<std::mutex> lock(pool->mutex);
    for (;;) {
        pool->cv.wait(lock, [&] { return pool->stopping || !pool->queue.empty(); });
        if (pool->stopping)
            break;
        Job job = std::move(pool->queue.front());
        pool->queue.pop_front();
        ++pool->running;
        auto activeIt = pool->active.insert(pool->active.end(), job.batch);
        lock.unlock();

        MsgCmd request = job.batch->Request(job.index);
        std::string reply;
        pool->sender(request.ip, request.body, reply, job.batch->cancel_);

        lock.lock();
        pool->active.erase(activeIt);
        lock.unlock();
        Finish(*pool, job.batch, job.index, std::move(reply));
        lock.lock();
    }
    --pool->alive;
    pool->cv.notify_all();
}

void BatchSender::Stop(std::chrono::steady_clock::time_point deadline) {
    bool allEnded;
    {
        std::unique_lock<std::mutex> lock(pool_->mutex);
        pool_->cv.wait_until(lock, deadline,
                             [&] { return pool_->queue.empty() && pool_->running == 0; });
        pool_->stopping = true;
        pool_->queue.clear();
        for (const auto& batch : pool_->active)
            batch->cancel_->Cancel();
        pool_->cv.notify_all();
        allEnded = pool_->cv.wait_for(lock, kCancelWait, [&] {
            return pool_->alive == 0 && (!pool_->engine || pool_->running == 0);
        });
    }
    // A sender that ignores cancellation keeps its thread; the thread owns a share of the
    // pool, so leaving it behind touches nothing freed.
    for (std::thread& thread : threads_) {
        if (allEnded) {
            thread.join();
        } else {
            thread.detach();
        }
    }
    threads_.clear();
}

size_t BatchSender::ThreadCount() const {
    std::lock_guard<std::mutex> lock(pool_->mutex);
    return pool_->alive;
}

}  // namespace vistrel
