// Sends one body to many projectors at once. Each batch is a copy of the caller's entries,
// so a batch in flight never sees a rebuilt array. With the HTTP engine every entry is in
// flight at once (up to the engine's connection limit, one exchange per projector at a
// time) and no thread waits; an injected synchronous sender runs on a small shared pool
// instead.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "protocol/http_engine.h"
#include "protocol/records.h"
#include "protocol/reply_sink.h"
#include "protocol/request_sender.h"

namespace vistrel {

// The entries of one batch and their replies. The owner keeps the pointer that SendBatch
// returns and, when kMsgReply arrives with wparam i, reads Entry(i). Safe from any thread.
class BatchResult {
  public:
    // Hears each answered entry (reply filled) before its owner is told, on the thread that
    // completed it.
    using OnAnswer = std::function<void(const MsgCmd& entry)>;

    explicit BatchResult(std::vector<MsgCmd> entries);

    size_t Size() const { return size_; }
    // A copy of entry `index`; its reply is filled once the entry has been answered.
    MsgCmd Entry(size_t index) const;
    std::string Reply(size_t index) const;
    bool Answered(size_t index) const;
    size_t AnsweredCount() const;
    // True when every entry has been answered, and its owner told, before the time ran out.
    bool WaitAll(std::chrono::milliseconds timeout) const;

  private:
    friend class BatchSender;
    // Stores the reply of entry `index`; returns the owner to notify.
    std::shared_ptr<ReplySink> Complete(size_t index, std::string reply, uint32_t& message);
    // Called once the owner of a completed entry has been told (or had gone).
    void Told();
    MsgCmd Request(size_t index) const;

    const size_t size_;
    mutable std::mutex mutex_;
    mutable std::condition_variable answeredCv_;
    std::vector<MsgCmd> entries_;
    std::vector<bool> answered_;
    size_t answeredCount_ = 0;
    size_t toldCount_ = 0;
    OnAnswer onAnswer_;  // set before the first send, read-only afterwards
    // Entries still in the engine; guarded by the sender's lock.
    size_t enginePending_ = 0;
    // One token for the whole batch: stopping the sender abandons what is in flight.
    std::shared_ptr<CancelToken> cancel_ = std::make_shared<CancelToken>();
};

inline constexpr size_t kBatchThreads = 32;

class BatchSender {
  public:
    // Every entry goes through `engine`.
    explicit BatchSender(std::shared_ptr<HttpEngine> engine);
    // Sends run on up to `maxThreads` pool threads, each blocking in `sender`.
    BatchSender(RequestSender sender, size_t maxThreads = kBatchThreads,
                ThreadStarter threadStarter = {});
    ~BatchSender();
    BatchSender(const BatchSender&) = delete;
    BatchSender& operator=(const BatchSender&) = delete;

    // Sends `body` to the ip of every entry, in parallel. Every entry gets body, kMsgReply and
    // `owner`; once answered, whether the send succeeded or not, the owner (when it still
    // exists) receives kMsgReply with the entry's index as wparam and 0 as lparam.
    std::shared_ptr<BatchResult> Send(std::vector<MsgCmd> entries, const std::string& body,
                                      const std::weak_ptr<ReplySink>& owner,
                                      BatchResult::OnAnswer onAnswer = {});
    // The same, with each entry sending the body it carries.
    std::shared_ptr<BatchResult> SendEach(std::vector<MsgCmd> entries,
                                          const std::weak_ptr<ReplySink>& owner,
                                          BatchResult::OnAnswer onAnswer = {});

    // Lets sends in progress finish until `deadline`, then abandons the rest unnotified and
    // returns; never hangs. After Stop nothing is sent or posted any more.
    void Stop(std::chrono::steady_clock::time_point deadline);

    // Pool threads alive now (never more than the limit given at construction; none with
    // the engine).
    size_t ThreadCount() const;

  private:
    struct Pool;
    static void Run(std::shared_ptr<Pool> pool);
    static void Finish(Pool& pool, const std::shared_ptr<BatchResult>& batch, size_t index,
                       std::string reply);
    void SendThroughEngine(const std::shared_ptr<BatchResult>& batch);

    std::shared_ptr<Pool> pool_;
    std::vector<std::thread> threads_;
};

}  // namespace vistrel
