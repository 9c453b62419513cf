#include "health/health_report.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <map>

#include "protocol/text_encoding.h"

namespace vistrel {

namespace {

constexpr size_t kCheckNamesShown = 5;

std::vector<std::pair<std::string, size_t>> CountBy(const std::vector<HealthRow>& rows,
                                                    std::string ProjectorHealth::*field) {
    std::map<std::string, size_t> counts;
    for (const HealthRow& row : rows) {
        const std::string& value = row.health.*field;
        ++counts[value.empty() ? std::string("unknown") : value];
    }
    std::vector<std::pair<std::string, size_t>> sorted(counts.begin(), counts.end());
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    return sorted;
}

std::string UtcText(int64_t when) {
    const std::time_t t = static_cast<std::time_t>(when);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

std::string OptionalUtc(const std::optional<int64_t>& when) {
    return when ? UtcText(*when) : std::string();
}

// A field of a CSV line: quoted when it holds a separator, a quote or a line break. A leading
// formula character is defused, so a projector name never runs as a spreadsheet formula.
std::string CsvField(const std::string& text) {
    std::string value = ProjectorTextAsUtf8(text);
    if (!value.empty() && (value[0] == '=' || value[0] == '+' || value[0] == '-' ||
                           value[0] == '@' || value[0] == '\t' || value[0] == '\r')) {
        value.insert(0, 1, '\'');
    }
    if (value.find_first_of(",\"\r\n") == std::string::npos)
        return value;
    std::string quoted = "\"";
    for (char c : value) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

std::string JsonOptional(const std::optional<int64_t>& when) {
    return when ? JsonString(UtcText(*when)) : std::string("null");
}

// The check line's plain-text part may hold neither the performance-data bar nor a line break.
std::string CheckText(std::string text) {
    for (char& c : text) {
        if (c == '|' || c == '\n' || c == '\r')
            c = ' ';
    }
    return text;
}

std::string Who(const HealthRow& row) {
    const std::string& address = row.health.ip.empty() ? row.health.mac : row.health.ip;
    return row.name.empty() ? address : row.name + " (" + address + ")";
}

const char* StatusWord(CheckStatus status) {
    switch (status) {
        case CheckStatus::kOk:
            return "OK";
        case CheckStatus::kWarning:
            return "WARNING";
        case CheckStatus::kCritical:
            return "CRITICAL";
        case CheckStatus::kUnknown:
            break;
    }
    return "UNKNOWN";
}

}  // namespace

HealthRow HealthFromLook(const Info& record, bool answered, const HealthThresholds& t,
                         int64_t now) {
    HealthRow row;
    row.name = record.projectorName;
    row.group = record.groupName;
    ProjectorHealth& h = row.health;
    h.mac = record.mac;
    h.ip = record.ip;
    h.power = record.power;
    h.fwVersion = record.fwVersion;
    h.present = answered;
    // Four characters, blank-padded; a standby reply leaves them empty.
    const std::string& lamp = record.lampHour;
    const size_t first = lamp.find_first_not_of(' ');
    if (first != std::string::npos && std::isdigit(static_cast<unsigned char>(lamp[first]))) {
        uint32_t hours = 0;
        for (size_t i = first; i < lamp.size() && std::isdigit(static_cast<unsigned char>(lamp[i]));
             ++i) {
            hours = hours * 10 + static_cast<uint32_t>(lamp[i] - '0');
        }
        h.lampHours = hours;
    }
    if (answered)
        h.lastAnswered = now;
    else
        h.notAnsweringSince = now;
    h.notAnswering = !answered;
    h.lampCritical = h.lampHours && *h.lampHours >= t.lampCriticalHours;
    h.lampWarning = !h.lampCritical && h.lampHours && *h.lampHours >= t.lampWarningHours;
    h.deviceErrors = record.pjlinkErrors;
    EvaluateDeviceErrors(h);
    h.state = h.notAnswering                       ? HealthState::kNotAnswering
              : h.lampCritical || h.deviceCritical ? HealthState::kCritical
              : h.lampWarning || h.deviceWarning   ? HealthState::kWarning
                                                   : HealthState::kOk;
    return row;
}

HealthReport MakeHealthReport(std::vector<HealthRow> rows, const HealthThresholds& thresholds,
                              int64_t now) {
    HealthReport report;
    std::vector<ProjectorHealth> fleet;
    fleet.reserve(rows.size());
    for (const HealthRow& row : rows)
        fleet.push_back(row.health);
    report.counts = CountFleet(fleet);
    report.rows = std::move(rows);
    report.thresholds = thresholds;
    report.now = now;
    return report;
}

std::vector<std::pair<std::string, size_t>> CountByModel(const std::vector<HealthRow>& rows) {
    return CountBy(rows, &ProjectorHealth::model);
}

std::vector<std::pair<std::string, size_t>> CountByFirmware(const std::vector<HealthRow>& rows) {
    return CountBy(rows, &ProjectorHealth::fwVersion);
}

std::vector<const HealthRow*> NeedingAttention(const std::vector<HealthRow>& rows) {
    std::vector<const HealthRow*> attention;
    for (const HealthRow& row : rows) {
        if (row.health.state != HealthState::kOk)
            attention.push_back(&row);
    }
    std::stable_sort(
        attention.begin(), attention.end(), [](const HealthRow* a, const HealthRow* b) {
            return static_cast<int>(a->health.state) > static_cast<int>(b->health.state);
        });
    return attention;
}

std::string SummaryLine(const FleetCounts& c, const HealthThresholds& t) {
    std::string line =
        std::to_string(c.listed) + (c.listed == 1 ? " projector: " : " projectors: ");
    line += std::to_string(c.on) + " on, " + std::to_string(c.standby) + " standby, " +
            std::to_string(c.off) + " off, " + std::to_string(c.notAnswering) + " not answering";
    line += "; lamps: " + std::to_string(c.lampWarning) + " past " +
            std::to_string(t.lampWarningHours) + " h, " + std::to_string(c.lampCritical) +
            " past " + std::to_string(t.lampCriticalHours) + " h";
    return line;
}

std::string LocalClockText(int64_t when, int64_t now) {
    const std::time_t t = static_cast<std::time_t>(when);
    const std::time_t n = static_cast<std::time_t>(now);
    std::tm at{};
    std::tm today{};
    localtime_r(&t, &at);
    localtime_r(&n, &today);
    char text[32];
    const bool sameDay = at.tm_year == today.tm_year && at.tm_yday == today.tm_yday;
    std::strftime(text, sizeof text, sameDay ? "%H:%M" : "%Y-%m-%d %H:%M", &at);
    return text;
}

std::string AttentionText(const HealthRow& row, int64_t now) {
    const ProjectorHealth& h = row.health;
    std::string text;
    if (h.notAnswering) {
        text = "not answering";
        if (h.notAnsweringSince)
            text += " since " + LocalClockText(*h.notAnsweringSince, now);
    }
    if (h.lampCritical || h.lampWarning) {
        if (!text.empty())
            text += ", ";
        text += "lamp " + std::to_string(h.lampHours.value_or(0)) + " h (" +
                (h.lampCritical ? "critical" : "warning") + ")";
    }
    if (h.deviceCritical || h.deviceWarning) {
        if (!text.empty())
            text += ", ";
        text += "reports " + DeviceErrorsText(h);
    }
    return text;
}

std::string HealthCsv(const HealthReport& report) {
    std::string out =
        "mac,ip,name,group,state,power,lamp_hours,model,firmware,last_answered,"
        "not_answering_since\r\n";
    for (const HealthRow& row : report.rows) {
        const ProjectorHealth& h = row.health;
        const std::string fields[] = {
            h.mac,
            h.ip,
            row.name,
            row.group,
            std::string(HealthStateName(h.state)),
            h.power,
            h.lampHours ? std::to_string(*h.lampHours) : std::string(),
            h.model,
            h.fwVersion,
            OptionalUtc(h.lastAnswered),
            OptionalUtc(h.notAnsweringSince),
        };
        for (size_t i = 0; i < std::size(fields); ++i) {
            if (i > 0)
                out += ',';
            out += CsvField(fields[i]);
        }
        out += "\r\n";
    }
    return out;
}

std::string HealthJson(const HealthReport& report) {
    const FleetCounts& c = report.counts;
    const HealthThresholds& t = report.thresholds;
    std::string out = "{\n  \"summary\": {";
    out += "\"listed\": " + std::to_string(c.listed) + ", \"on\": " + std::to_string(c.on) +
           ", \"standby\": " + std::to_string(c.standby) + ", \"off\": " + std::to_string(c.off) +
           ", \"not_answering\": " + std::to_string(c.notAnswering) +
           ", \"lamp_warning\": " + std::to_string(c.lampWarning) +
           ", \"lamp_critical\": " + std::to_string(c.lampCritical) + "},\n";
    out += "  \"thresholds\": {\"lamp_warning_hours\": " + std::to_string(t.lampWarningHours) +
           ", \"lamp_critical_hours\": " + std::to_string(t.lampCriticalHours) +
           ", \"not_answering_seconds\": " + std::to_string(t.notAnsweringSeconds) + "},\n";
    out += "  \"time\": " + JsonString(UtcText(report.now)) + ",\n  \"projectors\": [";
    bool first = true;
    for (const HealthRow& row : report.rows) {
        const ProjectorHealth& h = row.health;
        out += first ? "\n    {" : ",\n    {";
        first = false;
        out += "\"mac\": " + JsonString(h.mac) + ", \"ip\": " + JsonString(h.ip) +
               ", \"name\": " + JsonString(row.name) + ", \"group\": " + JsonString(row.group) +
               ", \"state\": " + JsonString(std::string(HealthStateName(h.state))) +
               ", \"power\": " + JsonString(h.power) + ", \"lamp_hours\": " +
               (h.lampHours ? std::to_string(*h.lampHours) : std::string("null")) +
               ", \"model\": " + JsonString(h.model) +
               ", \"firmware\": " + JsonString(h.fwVersion) +
               ", \"last_answered\": " + JsonOptional(h.lastAnswered) +
               ", \"not_answering_since\": " + JsonOptional(h.notAnsweringSince) + "}";
    }
    out += first ? "]\n}\n" : "\n  ]\n}\n";
    return out;
}

std::string FleetReportCsv(const HealthReport& report) {
    std::string out = "By model\r\nmodel,projectors\r\n";
    for (const auto& [model, count] : CountByModel(report.rows))
        out += CsvField(model) + "," + std::to_string(count) + "\r\n";
    out += "\r\nBy firmware\r\nfirmware,projectors\r\n";
    for (const auto& [firmware, count] : CountByFirmware(report.rows))
        out += CsvField(firmware) + "," + std::to_string(count) + "\r\n";
    out += "\r\nNeeding attention\r\nmac,ip,name,group,state,lamp_hours,not_answering_since\r\n";
    for (const HealthRow* row : NeedingAttention(report.rows)) {
        const ProjectorHealth& h = row->health;
        out += CsvField(h.mac) + "," + CsvField(h.ip) + "," + CsvField(row->name) + "," +
               CsvField(row->group) + "," + std::string(HealthStateName(h.state)) + "," +
               (h.lampHours ? std::to_string(*h.lampHours) : std::string()) + "," +
               OptionalUtc(h.notAnsweringSince) + "\r\n";
    }
    return out;
}

CheckResult MonitoringCheck(const HealthReport& report) {
    const FleetCounts& c = report.counts;
    CheckResult result;
    // A projector's own error report counts as its lamp hours do: a lamp or filter error is
    // critical, any other report a warning.
    const auto any = [&report](bool ProjectorHealth::*flag) {
        return std::any_of(report.rows.begin(), report.rows.end(),
                           [flag](const HealthRow& row) { return row.health.*flag; });
    };
    if (c.notAnswering > 0 || c.lampCritical > 0 || any(&ProjectorHealth::deviceCritical))
        result.status = CheckStatus::kCritical;
    else if (c.lampWarning > 0 || any(&ProjectorHealth::deviceWarning))
        result.status = CheckStatus::kWarning;
    else
        result.status = CheckStatus::kOk;

    const std::vector<const HealthRow*> attention = NeedingAttention(report.rows);
    std::string text;
    if (attention.empty()) {
        text = std::to_string(c.listed) + (c.listed == 1 ? " projector" : " projectors") +
               ", none needs attention";
    } else {
        text = std::to_string(attention.size()) + " of " + std::to_string(c.listed) +
               (attention.size() == 1 ? " needs" : " need") + " attention: ";
        for (size_t i = 0; i < attention.size() && i < kCheckNamesShown; ++i) {
            if (i > 0)
                text += ", ";
            text += Who(*attention[i]);
            text += ' ';
            text += AttentionText(*attention[i], report.now);
        }
        if (attention.size() > kCheckNamesShown)
            text += " and " + std::to_string(attention.size() - kCheckNamesShown) + " more";
    }
    const HealthThresholds& t = report.thresholds;
    result.line = std::string("VISTREL ") + StatusWord(result.status) + " - " + CheckText(text) +
                  " | listed=" + std::to_string(c.listed) + " on=" + std::to_string(c.on) +
                  " standby=" + std::to_string(c.standby) + " off=" + std::to_string(c.off) +
                  " not_answering=" + std::to_string(c.notAnswering) + ";;0" +
                  " lamp_warning=" + std::to_string(c.lampWarning) + ";0" +
                  " lamp_critical=" + std::to_string(c.lampCritical) + ";;0" +
                  " lamp_warning_hours=" + std::to_string(t.lampWarningHours) +
                  " lamp_critical_hours=" + std::to_string(t.lampCriticalHours);
    return result;
}

CheckResult UnknownCheck(const std::string& reason) {
    return {CheckStatus::kUnknown, "VISTREL UNKNOWN - " + CheckText(reason)};
}

}  // namespace vistrel
