// How a settings dialog tells the operator that a request did not work: what it was, which
// projector, and why, in one short sentence.
#pragma once

#include <string>

#include "protocol/records.h"

namespace vistrel {

// Why a reply is not a success: "no answer" (the exchange failed, so the reply is empty),
// "timed out" (the projector answered with its time-out text) or "refused" (anything else).
std::string FailureReason(const std::string& reply);

// What a request body changes, as the operator calls it: "Volume", "Test mail", ...
std::string RequestName(const std::string& body);

// "<what> failed on <address>: <reason>." for the request and reply of `slot`.
std::string FailureNotice(const MsgCmd& slot);

}  // namespace vistrel
