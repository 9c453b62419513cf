#include "protocol/request_sender.h"

namespace vistrel {

RequestSender HttpSender(HttpOptions options) {
    return [options](const std::string& ip, const std::string& body, std::string& reply,
                     const std::shared_ptr<CancelToken>& cancel) {
        CXHttpRequest request(ip, body, options, cancel);
        return request.Send("POST", reply);
    };
}

}  // namespace vistrel
