// The user reply: its access flags are sent back in "set=user" with new passwords.
#include <cstddef>
#include <cstdint>

#include "fuzz_check.h"
#include "protocol/codec.h"

using namespace vistrel;
using fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view reply = fuzz::AsText(data, size);
    std::optional<UserReply> user = ParseUserReply(reply);
    Check(user.has_value() == ReplyContains(reply, kUserTag), "parsed only with its tag");
    if (!user)
        return 0;
    Check(user->adminAccess >= 0 && user->adminAccess <= 9 && user->userAccess >= 0 &&
              user->userAccess <= 9,
          "access flags are single digits");
    // The passwords here are the reply itself: arbitrary bytes of any length.
    std::string record = BuildUserRecord(user->adminAccess, reply, user->userAccess, reply);
    Check(record.size() == 74, "set=user record is 74 bytes");
    return 0;
}
