// The sending step shared by the request ring and the batch: one POST of a body to one
// projector, abandonable from another thread. Injectable so that tests can stand in a
// projector that answers, fails or hangs on cue.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "protocol/http_request.h"

namespace vistrel {

// Posts `body` to the projector at `ip` and stores the reply text in `reply` (empty on
// failure). Returns true when the reply is non-empty. Cancelling `cancel` from another
// thread must make a send in progress return promptly. Called on several threads at once.
using RequestSender =
    std::function<bool(const std::string& ip, const std::string& body, std::string& reply,
                       const std::shared_ptr<CancelToken>& cancel)>;

// The product's sender: one CXHttpRequest per call.
RequestSender HttpSender(HttpOptions options);

}  // namespace vistrel
