// Exchanges of the command line with projectors: many at once over the console's HTTP
// engine, each exchange's reply and how it ended.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "protocol/http_request.h"

namespace vistrel::cli {

// How one exchange ended, as the operator reads it.
enum class Outcome {
    Ok,           // the projector did it, or answered the query
    TimeOut,      // the projector answered the time-out text, or did not answer in time
    Unreachable,  // no connection
    Unexpected,   // an answer that is not the one expected
    Refused,      // nothing sent: the projector's model does not offer what was asked
};

std::string_view OutcomeText(Outcome outcome);

struct ExchangeRequest {
    std::string ip;
    std::string body;
};

struct ExchangeResult {
    std::string ip;
    std::string body;
    std::string reply;          // empty when the exchange failed
    bool hitTimeLimit = false;  // failed because the time limit passed
};

// Outcome of a "command=" or "set=" exchange: OK only for "<return>\n<result>OK".
Outcome CommandOutcome(const ExchangeResult& result);
// Outcome of an exchange whose reply was read as expected (`understood`) or not.
Outcome QueryOutcome(const ExchangeResult& result, bool understood);

class ProjectorClient {
  public:
    explicit ProjectorClient(HttpOptions options) : options_(options) {}

    // Every request at once (up to the engine's connection limit in flight; requests to one
    // projector one after another, in the order given), results in the order of the
    // requests. Returns after every exchange has ended; each is bounded by the time limits
    // of the options, counted from when it starts, not from when it was queued.
    std::vector<ExchangeResult> Exchange(const std::vector<ExchangeRequest>& requests) const;
    std::vector<ExchangeResult> SendToAll(const std::vector<std::string>& ips,
                                          const std::string& body) const;

    const HttpOptions& Options() const { return options_; }

  private:
    HttpOptions options_;
};

}  // namespace vistrel::cli
