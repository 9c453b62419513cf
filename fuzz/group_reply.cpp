// The group reply, read by the polling thread; its names go back out in "set=group" records.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "protocol/codec.h"

using namespace vistrel;
using fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view reply = fuzz::AsText(data, size);

    Info info("AABBCCDDEEFF");
    info.groupName = "Old group";
    info.projectorName = "Old name";
    const Info before = info;

    bool applied = ParseGroupReply(reply, info);
    Check(applied == ReplyBeginsWith(reply, kGroupReplyPrefix), "applied only under its prefix");
    if (!applied) {
        Check(info == before, "a reply without the prefix changes nothing");
        return 0;
    }
    Check(fuzz::IsTrimmedField(info.groupName, kTextFieldWidth) &&
              fuzz::IsTrimmedField(info.projectorName, kTextFieldWidth),
          "names are at most one field wide, trailing white space removed");

    // Whatever a projector reports must go back out as a record of the exact length, and
    // read back as the same names (cut only where a UTF-8 sequence was split at the field end).
    std::string record = BuildGroupRecord(info.groupName, info.projectorName);
    Check(record.size() == 73, "set=group record is 73 bytes");
    std::string echoed = std::string(kGroupReplyPrefix) + record.substr(9);
    Info back;
    Check(ParseGroupReply(echoed, back), "an echoed record parses");
    Check(back.groupName == TrimTrailingSpace(CutToWidth(info.groupName, kTextFieldWidth)) &&
              back.projectorName ==
                  TrimTrailingSpace(CutToWidth(info.projectorName, kTextFieldWidth)),
          "names survive a round trip");
    return 0;
}
