#include "monitor/poll_transport.h"

namespace vistrel {

std::string HttpPollTransport::Post(const std::string& ip, const std::string& body,
                                    const std::shared_ptr<CancelToken>& cancel) {
    std::string reply;
    CXHttpRequest request(ip, body, options_, cancel);
    if (!request.Send("POST", reply))
        reply.clear();
    return reply;
}

}  // namespace vistrel
