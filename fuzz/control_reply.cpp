// The control reply: every page of the projector settings dialog reads its fields.
#include <cstddef>
#include <cstdint>

#include "fuzz_check.h"
#include "protocol/codec.h"

using namespace vistrel;
using fuzz::Check;

namespace {

// The range "%d" digits of a field of this width can express.
bool FitsWidth(int value, size_t width) {
    int high = 9;
    for (size_t i = 1; i < width; ++i)
        high = high * 10 + 9;
    int low = width > 1 ? -(high / 10) : 0;
    return value >= low && value <= high;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view reply = fuzz::AsText(data, size);
    ControlReply control = ReadControlReply(reply);
    for (const ControlField& field : kControlLayout) {
        Check(field.offset + field.width <= kControlReplyLength, "layout within the record");
        Check(FitsWidth(control.*field.member, field.width), "a field stays within its width");
    }
    // The dialog overwrites the power digit after a power-off and reads the reply again.
    if (reply.size() > kControlPowerOffset) {
        std::string edited(reply);
        edited[kControlPowerOffset] = '0';
        ControlReply again = ReadControlReply(edited);
        Check(again.power == 0, "an overwritten power digit reads as off");
        again.power = control.power;
        Check(again == control, "only the power field changes");
    }
    Check(IsControlReply(reply) == ReplyBeginsWith(reply, kControlReplyPrefix), "tag test");
    return 0;
}
