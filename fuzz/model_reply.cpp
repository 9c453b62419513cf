// The model reply, read when a settings dialog opens; its code selects page layouts.
#include <cstddef>
#include <cstdint>

#include "fuzz_check.h"
#include "protocol/codec.h"

using namespace vistrel;
using fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view reply = fuzz::AsText(data, size);
    std::optional<std::string> code = ParseModelReply(reply);
    Check(code.has_value() == ReplyBeginsWith(reply, kModelReplyPrefix),
          "a model code only under its prefix");
    if (code) {
        Check(code->size() <= 1, "the model code is one byte");
        Check(code->size() == (reply.size() > 18 ? 1u : 0u), "the code is there when the reply is");
    }
    return 0;
}
