// The fleet's health as the report, the command-line tool and monitoring systems read it.
#include <gtest/gtest.h>

#include "health/health_report.h"

namespace vistrel {
namespace {

constexpr int64_t kNow = 1765000000;

HealthRow Row(const std::string& mac, const std::string& name, const std::string& power,
              std::optional<uint32_t> lamp, HealthState state, const std::string& firmware = "A100",
              const std::string& model = {}) {
    HealthRow row;
    row.health.mac = mac;
    row.health.ip = "192.168.0." + mac.substr(mac.size() - 1);
    row.health.power = power;
    row.health.lampHours = lamp;
    row.health.fwVersion = firmware;
    row.health.model = model;
    row.health.state = state;
    row.health.lampWarning = state == HealthState::kWarning;
    row.health.lampCritical = state == HealthState::kCritical;
    row.health.notAnswering = state == HealthState::kNotAnswering;
    if (row.health.notAnswering)
        row.health.notAnsweringSince = kNow - 600;
    row.name = name;
    return row;
}

HealthReport Report(std::vector<HealthRow> rows) {
    return MakeHealthReport(std::move(rows), HealthThresholds{}, kNow);
}

TEST(HealthReport, CheckLineAndStatusFollowTheMostUrgentProjector) {
    std::vector<HealthRow> rows{Row("00000000000A", "Lobby", "ON", 120, HealthState::kOk),
                                Row("00000000000B", "Hall", "standby", 900, HealthState::kOk),
                                Row("00000000000C", "Lab", "OFF", 200, HealthState::kOk)};
    CheckResult ok = MonitoringCheck(Report(rows));
    EXPECT_EQ(ok.status, CheckStatus::kOk);
    EXPECT_EQ(ok.line.substr(0, ok.line.find(" |")),
              "VISTREL OK - 3 projectors, none needs attention");
    EXPECT_NE(ok.line.find("| listed=3 on=1 standby=1 off=1 not_answering=0;;0"), std::string::npos)
        << ok.line;

    rows.push_back(Row("00000000000D", "Aula|East", "ON", 3200, HealthState::kWarning));
    CheckResult warning = MonitoringCheck(Report(rows));
    EXPECT_EQ(warning.status, CheckStatus::kWarning);
    // A name cannot break the line into text and performance data.
    EXPECT_EQ(warning.line.substr(0, warning.line.find(" |")),
              "VISTREL WARNING - 1 of 4 needs attention: Aula East (192.168.0.D) lamp 3200 h "
              "(warning)");
    EXPECT_NE(warning.line.find("lamp_warning=1;0 lamp_critical=0;;0"), std::string::npos);

    rows.push_back(Row("00000000000E", "", "ON", 100, HealthState::kNotAnswering));
    rows.push_back(Row("00000000000F", "Stage", "ON", 4100, HealthState::kCritical));
    const HealthReport report = Report(rows);
    CheckResult critical = MonitoringCheck(report);
    EXPECT_EQ(critical.status, CheckStatus::kCritical);
    const std::string text = critical.line.substr(0, critical.line.find(" |"));
    EXPECT_EQ(
        text.rfind("VISTREL CRITICAL - 3 of 6 need attention: 192.168.0.E not answering since ", 0),
        0u)
        << text;
    // Most urgent first: the silent projector, the critical lamp, then the warning.
    EXPECT_LT(text.find("192.168.0.E"), text.find("Stage"));
    EXPECT_LT(text.find("Stage (192.168.0.F) lamp 4100 h (critical)"), text.find("Aula"));
    EXPECT_NE(critical.line.find("on=3 standby=1 off=1 not_answering=1"), std::string::npos)
        << critical.line;
    EXPECT_EQ(critical.line.find('\n'), std::string::npos);

    EXPECT_EQ(UnknownCheck("UDP port 250 is in use by another program").line,
              "VISTREL UNKNOWN - UDP port 250 is in use by another program");
    EXPECT_EQ(static_cast<int>(UnknownCheck("x").status), 3);
    EXPECT_EQ(SummaryLine(report.counts, report.thresholds),
              "6 projectors: 3 on, 1 standby, 1 off, 1 not answering; lamps: 1 past 3000 h, 1 "
              "past 4000 h");
}

TEST(HealthReport, TablesCountTheMixAndTheFilesQuoteWhatTheProjectorsSay) {
    std::vector<HealthRow> rows{
        Row("00000000000A", "=cmd()", "ON", 120, HealthState::kOk, "A100", "6"),
        Row("00000000000B", "Hall, \"B\"", "ON", 4200, HealthState::kCritical, "A100", "6"),
        Row("00000000000C", "Lab\\1", "standby", std::nullopt, HealthState::kOk, "A090"),
        Row("00000000000E", "Caf\xe9", "OFF", 10, HealthState::kOk, "A100", "7"),
        Row("00000000000D", "Aula", "ON", 100, HealthState::kNotAnswering, "", "7")};
    const HealthReport report = Report(rows);

    using Counts = std::vector<std::pair<std::string, size_t>>;
    EXPECT_EQ(CountByFirmware(report.rows), (Counts{{"A100", 3}, {"A090", 1}, {"unknown", 1}}));
    EXPECT_EQ(CountByModel(report.rows), (Counts{{"6", 2}, {"7", 2}, {"unknown", 1}}));

    const std::string csv = HealthCsv(report);
    // A name that a spreadsheet would run as a formula stays text; separators are quoted.
    EXPECT_NE(csv.find("00000000000A,192.168.0.A,'=cmd(),,ok,ON,120,6,A100,,\r\n"),
              std::string::npos)
        << csv;
    EXPECT_NE(csv.find(",\"Hall, \"\"B\"\"\",,critical,ON,4200,"), std::string::npos) << csv;
    EXPECT_NE(csv.find("00000000000C,192.168.0.C,Lab\\1,,ok,standby,,,A090,,\r\n"),
              std::string::npos)
        << csv;
    EXPECT_NE(csv.find(",not answering,ON,100,7,,,2025-12-06T05:36:40Z\r\n"), std::string::npos)
        << csv;

    const std::string json = HealthJson(report);
    // A legacy 8-bit name still makes valid UTF-8 JSON.
    EXPECT_NE(json.find("\"name\": \"Caf\xc3\xa9\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"summary\": {\"listed\": 5, \"on\": 2, \"standby\": 1, \"off\": 1, "
                        "\"not_answering\": 1, \"lamp_warning\": 0, \"lamp_critical\": 1}"),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("\"name\": \"Hall, \\\"B\\\"\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"name\": \"Lab\\\\1\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"lamp_hours\": null"), std::string::npos) << json;
    EXPECT_NE(json.find("\"not_answering_since\": \"2025-12-06T05:36:40Z\""), std::string::npos);
    EXPECT_NE(HealthJson(Report({})).find("\"projectors\": []"), std::string::npos);

    const std::string table = FleetReportCsv(report);
    EXPECT_EQ(table.rfind("By model\r\nmodel,projectors\r\n6,2\r\n7,2\r\nunknown,1\r\n", 0), 0u)
        << table;
    EXPECT_NE(table.find("Needing attention\r\nmac,ip,name,group,state,lamp_hours,"
                         "not_answering_since\r\n00000000000D,192.168.0.D,Aula,,not answering,"
                         "100,2025-12-06T05:36:40Z\r\n00000000000B,"),
              std::string::npos)
        << table;
}

}  // namespace
}  // namespace vistrel
