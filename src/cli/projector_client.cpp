#include "cli/projector_client.h"

#include <condition_variable>
#include <memory>
#include <mutex>

#include "protocol/codec.h"
#include "protocol/http_engine.h"

namespace vistrel::cli {
namespace {

// The replies of one Exchange call, filled from the engine's thread.
struct Collected {
    std::mutex mutex;
    std::condition_variable cv;
    size_t remaining = 0;
    std::vector<ExchangeResult> results;
};

}  // namespace

std::string_view OutcomeText(Outcome outcome) {
    switch (outcome) {
        case Outcome::Ok:
            return "OK";
        case Outcome::TimeOut:
            return "time-out";
        case Outcome::Unreachable:
            return "unreachable";
        case Outcome::Unexpected:
            return "unexpected reply";
        case Outcome::Refused:
            return "refused";
    }
    return "";
}

Outcome QueryOutcome(const ExchangeResult& result, bool understood) {
    if (result.reply.empty())
        return result.hitTimeLimit ? Outcome::TimeOut : Outcome::Unreachable;
    if (understood)
        return Outcome::Ok;
    if (result.reply.find(kTimeoutText) != std::string::npos)
        return Outcome::TimeOut;
    return Outcome::Unexpected;
}

Outcome CommandOutcome(const ExchangeResult& result) {
    return QueryOutcome(result, BeginsWithOk(result.reply));
}

std::vector<ExchangeResult> ProjectorClient::Exchange(
    const std::vector<ExchangeRequest>& requests) const {
    auto collected = std::make_shared<Collected>();
    collected->remaining = requests.size();
    collected->results.resize(requests.size());
    for (size_t i = 0; i < requests.size(); ++i) {
        collected->results[i].ip = requests[i].ip;
        collected->results[i].body = requests[i].body;
    }
    {
        // Every request at once: the engine runs those to one projector one at a time, in
        // the order given, and each ends by its own time limits.
        HttpEngineOptions engineOptions;
        engineOptions.http = options_;
        HttpEngine engine(engineOptions);
        for (size_t i = 0; i < requests.size(); ++i) {
            engine.PostExchange(requests[i].ip, requests[i].body, [collected, i](ExchangeEnd end) {
                std::lock_guard lock(collected->mutex);
                ExchangeResult& r = collected->results[i];
                r.reply = std::move(end.reply);
                r.hitTimeLimit = r.reply.empty() && end.timedOut;
                if (--collected->remaining == 0)
                    collected->cv.notify_all();
            });
        }
        std::unique_lock lock(collected->mutex);
        collected->cv.wait(lock, [&] { return collected->remaining == 0; });
    }
    std::lock_guard lock(collected->mutex);
    return std::move(collected->results);
}

std::vector<ExchangeResult> ProjectorClient::SendToAll(const std::vector<std::string>& ips,
                                                       const std::string& body) const {
    std::vector<ExchangeRequest> requests;
    requests.reserve(ips.size());
    for (const std::string& ip : ips)
        requests.push_back({ip, body});
    return Exchange(requests);
}

}  // namespace vistrel::cli
