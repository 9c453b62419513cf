#include "settings/common/failure_text.h"

#include "protocol/codec.h"
#include "protocol/setting_catalog.h"

namespace vistrel {

std::string FailureReason(const std::string& reply) {
    if (reply.empty())
        return "no answer";
    if (ReplyContains(reply, "<result>timeout"))
        return "timed out";
    return "refused";
}

std::string RequestName(const std::string& body) {
    struct Record {
        std::string_view prefix;
        const char* name;
    };
    static constexpr Record kRecords[] = {
        {"set=user", "Passwords"},           {"set=alert", "Alert settings"},
        {"set=test", "Test mail"},           {"set=group", "Group and projector names"},
        {"set=network", "Network settings"},
    };
    for (const Record& record : kRecords) {
        if (body.starts_with(record.prefix))
            return record.name;
    }
    // A command: the setting whose code it carries (the longest matching code wins, so
    // "~00104 1" is the background colour and not "~0010").
    std::string_view best;
    size_t bestLength = 0;
    const std::string_view code =
        std::string_view(body).substr(body.starts_with("command=") ? 8 : 0);
    auto consider = [&](const SettingDef& def, std::string_view candidate) {
        if (!candidate.empty() && code.starts_with(candidate) && candidate.size() > bestLength) {
            best = def.label;
            bestLength = candidate.size();
        }
    };
    for (const SettingDef& def : AllSettings()) {
        consider(def, def.prefix);
        consider(def, def.onCode);
        consider(def, def.offCode);
        for (int row = 0; row < RowCount(def.options); ++row)
            consider(def, CommandAt(def.options, row));
    }
    std::string name(best.empty() ? std::string_view("The command") : best);
    if (!name.empty() && name.back() == ':')
        name.pop_back();
    return name;
}

std::string FailureNotice(const MsgCmd& slot) {
    std::string text = RequestName(slot.body) + " failed";
    if (!slot.ip.empty())
        text += " on " + slot.ip;
    return text + ": " + FailureReason(slot.reply) + ".";
}

}  // namespace vistrel
