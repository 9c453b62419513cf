// The fleet's health as people and other programs read it: a state per projector, the counts,
// the mix of models and firmware, the projectors that need attention, CSV and JSON, and the
// one-line check result that monitoring systems run. Qt-free: the window's report and the
// command-line tool print the same thing.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "health/fleet_health.h"
#include "protocol/records.h"

namespace vistrel {

// One projector as reported: its health plus the names the list shows beside it.
struct HealthRow {
    ProjectorHealth health;
    std::string name;   // projector name, may be empty
    std::string group;  // group name, may be empty
};

struct HealthReport {
    std::vector<HealthRow> rows;  // first-seen order
    FleetCounts counts;
    HealthThresholds thresholds;
    int64_t now = 0;  // wall-clock seconds the report was taken at
};

// A projector as one look at it tells (the command-line tool, which does not poll): its
// record after the info request, and whether that request was answered. A projector that did
// not answer is not answering from `now`; its lamp is judged by what the record still holds.
HealthRow HealthFromLook(const Info& record, bool answered, const HealthThresholds& thresholds,
                         int64_t now);

HealthReport MakeHealthReport(std::vector<HealthRow> rows, const HealthThresholds& thresholds,
                              int64_t now);

// How many projectors report each value, most common first (ties by value); a projector that
// has not told its value counts under "unknown".
std::vector<std::pair<std::string, size_t>> CountByModel(const std::vector<HealthRow>& rows);
std::vector<std::pair<std::string, size_t>> CountByFirmware(const std::vector<HealthRow>& rows);

// The rows whose state is not ok, most urgent first, first-seen order within a state.
std::vector<const HealthRow*> NeedingAttention(const std::vector<HealthRow>& rows);

// "120 projectors: 80 on, 30 standby, 5 off, 2 not answering; lamps: 2 past 3000 h, 1 past 4000 h"
std::string SummaryLine(const FleetCounts& counts, const HealthThresholds& thresholds);

// What needs doing about one row, for people: "lamp 4120 h (critical)", "not answering since
// 08:12". Local time.
std::string AttentionText(const HealthRow& row, int64_t now);
// "HH:MM" of a wall-clock time in local time, with the date in front when it is not today.
std::string LocalClockText(int64_t when, int64_t now);

// One line per projector with a header line; times in UTC, ISO 8601.
std::string HealthCsv(const HealthReport& report);
// {"summary": {...counts}, "thresholds": {...}, "projectors": [...]}
std::string HealthJson(const HealthReport& report);
// The fleet report's tables (by model, by firmware, needing attention) as one CSV file, each
// table under a line naming it.
std::string FleetReportCsv(const HealthReport& report);

// Exit codes of the monitoring check.
enum class CheckStatus { kOk = 0, kWarning = 1, kCritical = 2, kUnknown = 3 };

struct CheckResult {
    CheckStatus status = CheckStatus::kUnknown;
    std::string line;  // "VISTREL WARNING - 2 of 120 need attention: ... | on=80 ..."
};

// Critical when a lamp is past its critical threshold or a projector does not answer, warning
// when a lamp is past its warning threshold, ok otherwise.
CheckResult MonitoringCheck(const HealthReport& report);
// When no check could be made: discovery impossible, port busy.
CheckResult UnknownCheck(const std::string& reason);

}  // namespace vistrel
