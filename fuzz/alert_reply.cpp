// The alert reply: seven texts and four flags, edited on a page and sent back in "set=alert".
#include <cstddef>
#include <cstdint>

#include "fuzz_check.h"
#include "protocol/codec.h"

using namespace vistrel;
using fuzz::Check;

namespace {

constexpr std::string AlertSettings::*kTexts[] = {
    &AlertSettings::mailTo,       &AlertSettings::mailCc,     &AlertSettings::mailSubject,
    &AlertSettings::mailFrom,     &AlertSettings::smtpServer, &AlertSettings::smtpUser,
    &AlertSettings::smtpPassword,
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view reply = fuzz::AsText(data, size);
    std::optional<AlertSettings> alert = ParseAlertReply(reply);
    Check(alert.has_value() == ReplyContains(reply, kAlertTag), "parsed only with its tag");
    if (!alert)
        return 0;
    for (auto text : kTexts)
        Check(fuzz::IsTrimmedField((*alert).*text, kTextFieldWidth), "texts keep their width");
    for (int flag : {alert->alertFanLock, alert->alertOverTemperature, alert->alertLampHours,
                     alert->alertLampFail})
        Check(flag >= 0 && flag <= 9, "flags are single digits");

    std::string record = BuildAlertRecord(*alert);
    Check(record.size() == 237, "set=alert record is 237 bytes");

    // The record read back as a reply gives the same settings, texts cut only where a UTF-8
    // sequence was split at the field end.
    std::string echoed = "<return>\n<alert>" + record.substr(9);
    std::optional<AlertSettings> back = ParseAlertReply(echoed);
    Check(back.has_value(), "an echoed record parses");
    AlertSettings expected = *alert;
    for (auto text : kTexts)
        expected.*text = TrimTrailingSpace(CutToWidth(expected.*text, kTextFieldWidth));
    Check(*back == expected, "settings survive a round trip");
    return 0;
}
