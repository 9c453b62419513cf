#include "metrics/counted_poll_transport.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "protocol/codec.h"

namespace vistrel::metrics {

PollOutcome ClassifyInfoReply(const ExchangeEnd& end) {
    if (end.reply.empty())
        return end.timedOut ? PollOutcome::kTimeout : PollOutcome::kRefused;
    Info scratch;
    return ParseInfoReply(end.reply, scratch) ? PollOutcome::kOk : PollOutcome::kMalformed;
}

CountedPollTransport::CountedPollTransport(std::shared_ptr<HttpEngine> engine,
                                           std::shared_ptr<FleetMetrics> metrics)
    : engine_(std::move(engine)), metrics_(std::move(metrics)) {}

std::string CountedPollTransport::Post(const std::string& ip, const std::string& body,
                                       const std::shared_ptr<CancelToken>& cancel) {
    struct Wait {
        std::mutex mutex;
        std::condition_variable cv;
        bool done = false;
        std::string reply;
    };
    auto wait = std::make_shared<Wait>();
    PostAsync(ip, body, cancel, [wait](std::string reply) {
        std::lock_guard lock(wait->mutex);
        wait->reply = std::move(reply);
        wait->done = true;
        wait->cv.notify_all();
    });
    std::unique_lock lock(wait->mutex);
    wait->cv.wait(lock, [&] { return wait->done; });
    return std::move(wait->reply);
}

void CountedPollTransport::PostAsync(const std::string& ip, const std::string& body,
                                     const std::shared_ptr<CancelToken>& cancel, Done done) {
    // Only "query=info" is a status poll; the group request that follows it is not counted.
    if (body != kQueryInfoBody) {
        engine_->Post(ip, body, std::move(done), cancel);
        return;
    }
    const auto posted = std::chrono::steady_clock::now();
    engine_->PostExchange(
        ip, body,
        [metrics = metrics_, cancel, posted, done = std::move(done)](ExchangeEnd end) {
            // An exchange cancelled at shutdown says nothing about the projector.
            if (!(cancel && cancel->IsCancelled()))
                metrics->RecordPoll(ClassifyInfoReply(end),
                                    std::chrono::steady_clock::now() - posted);
            done(std::move(end.reply));
        },
        cancel);
}

}  // namespace vistrel::metrics
