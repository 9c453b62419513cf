// The alert settings' one definition: every member of the record is reachable by exactly one
// name, and values that the record cannot carry are refused.
#include <gtest/gtest.h>

#include <set>

#include "protocol/alert_fields.h"
#include "protocol/codec.h"

namespace vistrel {
namespace {

TEST(AlertFieldsTest, EveryMemberHasOneNameAndRoundTripsThroughTheRecord) {
    AlertSettings alert;
    std::set<std::string_view> names;
    std::set<int> controls;
    int n = 0;
    for (const AlertFieldDef& field : AlertFields()) {
        EXPECT_TRUE(names.insert(field.name).second) << field.name;
        EXPECT_TRUE(controls.insert(field.controlId).second) << field.name;
        EXPECT_EQ(FindAlertField(field.name), &field);
        EXPECT_EQ(AlertFieldByControl(field.controlId), &field);
        const std::string value =
            field.kind == AlertFieldKind::Flag ? (n % 2 ? "on" : "OFF") : "v" + std::to_string(n);
        ASSERT_TRUE(SetAlertFieldValue(field, alert, value)) << field.name;
        ++n;
    }
    EXPECT_EQ(n, 11);
    // Each field landed in a member of its own: the record read back gives every value again.
    const std::string reply = "<return>\n<alert>" + BuildAlertRecord(alert).substr(9);
    const AlertSettings back = *ParseAlertReply(reply);
    EXPECT_EQ(back, alert);
    n = 0;
    for (const AlertFieldDef& field : AlertFields()) {
        const std::string expected =
            field.kind == AlertFieldKind::Flag ? (n % 2 ? "on" : "off") : "v" + std::to_string(n);
        EXPECT_EQ(AlertFieldValue(field, back), expected) << field.name;
        ++n;
    }
    EXPECT_EQ(FindAlertField("smtp-password")->kind, AlertFieldKind::Secret);
    EXPECT_EQ(FindAlertField("lamp-colour"), nullptr);
}

TEST(AlertFieldsTest, ValuesTheRecordCannotCarryAreRefusedAndChangeNothing) {
    AlertSettings alert;
    alert.mailTo = "av@example.org";
    alert.alertFanLock = 1;
    EXPECT_FALSE(SetAlertFieldValue(*FindAlertField("mail-to"), alert, std::string(33, 'm')));
    EXPECT_FALSE(SetAlertFieldValue(*FindAlertField("mail-to"), alert, "a\tb"));
    EXPECT_FALSE(SetAlertFieldValue(*FindAlertField("alert-fan-lock"), alert, "maybe"));
    EXPECT_EQ(alert.mailTo, "av@example.org");
    EXPECT_EQ(alert.alertFanLock, 1);
    EXPECT_TRUE(SetAlertFieldValue(*FindAlertField("mail-to"), alert, std::string(32, 'm')));
    EXPECT_TRUE(AlertTextProblem(std::string(33, 'x')).has_value());
    EXPECT_FALSE(AlertTextProblem("").has_value());
}

}  // namespace
}  // namespace vistrel
