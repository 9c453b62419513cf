#include "monitor/poll_transport.h"

namespace vistrel {

namespace {

std::shared_ptr<HttpEngine> EngineWith(HttpOptions options) {
    HttpEngineOptions engineOptions;
    engineOptions.http = options;
    return std::make_shared<HttpEngine>(engineOptions);
}

}  // namespace

HttpPollTransport::HttpPollTransport(HttpOptions options) : engine_(EngineWith(options)) {}

std::string HttpPollTransport::Post(const std::string& ip, const std::string& body,
                                    const std::shared_ptr<CancelToken>& cancel) {
    std::string reply;
    SendThrough(*engine_, ip, body, reply, cancel);
    return reply;
}

void HttpPollTransport::PostAsync(const std::string& ip, const std::string& body,
                                  const std::shared_ptr<CancelToken>& cancel, Done done) {
    engine_->Post(ip, body, std::move(done), cancel);
}

}  // namespace vistrel
