// PJLink lines: any host on port 4352 can send any bytes as a greeting or a reply. The input
// is split at CR into lines; each is read as a greeting and as a reply folded into a status.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "pjlink/pjlink_codec.h"

using namespace vistrel;
using fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input = fuzz::AsText(data, size);
    pjlink::Status status;
    size_t at = 0;
    while (at <= input.size()) {
        size_t end = input.find('\r', at);
        if (end == std::string_view::npos)
            end = input.size();
        const std::string_view line = input.substr(at, end - at);
        at = end + 1;

        const pjlink::Greeting greeting = pjlink::ParseGreeting(line);
        Check(greeting.kind == pjlink::Greeting::Kind::Authenticate || greeting.random.empty(),
              "a random number only with an authentication greeting");
        Check(greeting.random.size() <= 32, "the random number is short");

        const pjlink::Reply reply = pjlink::ParseReply(line);
        Check(reply.value.size() < pjlink::kMaxLine, "values are bounded by the line limit");
        for (char c : reply.value)
            Check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7f, "values are printable");
        Check(reply.outcome == pjlink::Outcome::Value || reply.value.empty(),
              "only a value carries text");
        // The named input of an INNM reply is the first two characters of the line's tail.
        pjlink::ApplyReply(reply, status, line.size() >= 2 ? line.substr(line.size() - 2) : "");
        Check(status.commandClass == 1 || status.commandClass == 2, "class is 1 or 2");
        Check(status.lamps.size() <= 8, "at most eight lamps");
        if (status.input) {
            Check(!pjlink::InputLabel(*status.input).empty(), "an input always has a label");
            Check(!pjlink::SourceLabel(status).empty(), "a known input always has a source text");
        }
        if (status.errors) {
            for (int state : *status.errors)
                Check(state >= 0 && state <= 2, "error states are 0 to 2");
        }
    }
    return 0;
}
