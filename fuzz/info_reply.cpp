// The info reply, read by the polling thread from every projector every 15 seconds.
#include <cstddef>
#include <cstdint>

#include "fuzz_check.h"
#include "protocol/codec.h"
#include "protocol/option_tables.h"

using namespace vistrel;
using fuzz::Check;

namespace {

bool IsLabelOrEmpty(OptionTable table, const std::string& label) {
    if (label.empty())
        return true;
    for (const OptionRow& row : table) {
        if (row.label == label)
            return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view reply = fuzz::AsText(data, size);

    Info info("AABBCCDDEEFF");
    info.ip = "127.0.11.1";
    info.groupName = "Lab";
    info.projectorName = "P1";
    info.freshness = 4;
    info.pollTick = 77;
    const Info before = info;

    bool found = ParseInfoReply(reply, info);

    // Only the five status fields belong to this reply.
    Info others = info;
    others.power = before.power;
    others.lampHour = before.lampHour;
    others.source = before.source;
    others.fwVersion = before.fwVersion;
    others.displayMode = before.displayMode;
    Check(others == before, "fields other than the status texts are untouched");

    Check(found == (reply.find("OK") != std::string_view::npos), "found means an OK in the reply");
    Check(
        info.power.empty() || info.power == "ON" || info.power == "OFF" || info.power == "standby",
        "power is one of the known texts");
    Check(info.lampHour.size() <= 4 && info.fwVersion.size() <= 4, "copied fields keep width");
    Check(IsLabelOrEmpty(kSourceTable, info.source), "source is a table label");
    Check(info.displayMode == "None" || IsLabelOrEmpty(kInfoDisplayModeTable, info.displayMode),
          "display mode is a table label");
    if (!found || info.power == "standby") {
        Check(info.lampHour.empty() && info.source.empty() && info.fwVersion.empty() &&
                  info.displayMode.empty(),
              "no OK and standby clear the other status texts");
    }

    // The decode depends on the reply alone, not on what the record held.
    Info fresh;
    ParseInfoReply(reply, fresh);
    Check(fresh.power == info.power && fresh.lampHour == info.lampHour &&
              fresh.source == info.source && fresh.fwVersion == info.fwVersion &&
              fresh.displayMode == info.displayMode,
          "decoding is independent of the previous record");
    return 0;
}
