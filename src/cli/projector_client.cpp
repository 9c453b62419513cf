#include "cli/projector_client.h"

#include <chrono>
#include <map>
#include <memory>
#include <mutex>

#include "protocol/batch_sender.h"
#include "protocol/codec.h"
#include "protocol/request_sender.h"

namespace vistrel::cli {
namespace {

using Clock = std::chrono::steady_clock;

// The transport answers an empty text for every failure; the time taken tells a projector
// that never answered from one that refused the connection.
struct Timings {
    std::mutex mutex;
    std::map<std::pair<std::string, std::string>, bool> hitLimit;
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
    auto timings = std::make_shared<Timings>();
    const RequestSender http = HttpSender(options_);
    const int limitMs = options_.totalTimeoutMs;
    RequestSender timed = [http, timings, limitMs](const std::string& ip, const std::string& body,
                                                   std::string& reply,
                                                   const std::shared_ptr<CancelToken>& cancel) {
        const auto begin = Clock::now();
        const bool ok = http(ip, body, reply, cancel);
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - begin).count();
        std::lock_guard lock(timings->mutex);
        // A little slack: the limit is measured by the transport from a slightly later start.
        timings->hitLimit[{ip, body}] = !ok && ms + 50 >= limitMs;
        return ok;
    };

    // The batch sender sends one body per batch: one batch per distinct body.
    std::map<std::string, std::vector<size_t>> byBody;
    for (size_t i = 0; i < requests.size(); ++i)
        byBody[requests[i].body].push_back(i);

    BatchSender sender(timed);
    std::vector<std::pair<std::shared_ptr<BatchResult>, std::vector<size_t>>> batches;
    for (const auto& [body, indexes] : byBody) {
        std::vector<MsgCmd> entries;
        for (size_t i : indexes) {
            MsgCmd entry;
            entry.ip = requests[i].ip;
            entries.push_back(std::move(entry));
        }
        batches.emplace_back(sender.Send(std::move(entries), body, {}), indexes);
    }

    std::vector<ExchangeResult> results(requests.size());
    const auto bound = std::chrono::milliseconds(options_.totalTimeoutMs + 5000);
    for (auto& [batch, indexes] : batches) {
        batch->WaitAll(bound);
        for (size_t k = 0; k < indexes.size(); ++k) {
            ExchangeResult& r = results[indexes[k]];
            r.ip = requests[indexes[k]].ip;
            r.body = requests[indexes[k]].body;
            if (batch->Answered(k)) {
                r.reply = batch->Reply(k);
            } else {
                r.hitTimeLimit = true;  // abandoned below; never left waiting
            }
        }
    }
    sender.Stop(Clock::now());
    std::lock_guard lock(timings->mutex);
    for (ExchangeResult& r : results) {
        if (r.reply.empty() && !r.hitTimeLimit)
            r.hitTimeLimit = timings->hitLimit[{r.ip, r.body}];
    }
    return results;
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
