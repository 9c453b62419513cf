#include "schedule/zone_local_time.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>

namespace vistrel {

namespace {

constexpr int64_t kDay = 86400;

uint32_t Be32(const unsigned char* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

int64_t Be64(const unsigned char* p) {
    return static_cast<int64_t>((uint64_t{Be32(p)} << 32) | Be32(p + 4));
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

int64_t YearOf(int64_t value) {
    int64_t days = value / kDay - (value % kDay < 0);
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t doe = days - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    return yoe + era * 400 + (mp >= 10);
}

bool IsLeap(int64_t y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int64_t y, int m) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// "[+-]hh[:mm[:ss]]" in seconds.
bool ParseClock(std::string_view& s, int32_t& out) {
    int sign = 1;
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
        sign = s[0] == '-' ? -1 : 1;
        s.remove_prefix(1);
    }
    int32_t total = 0;
    for (int part = 0; part < 3; ++part) {
        if (part > 0) {
            if (s.empty() || s[0] != ':')
                break;
            s.remove_prefix(1);
        }
        if (s.empty() || s[0] < '0' || s[0] > '9')
            return false;
        int32_t v = 0;
        while (!s.empty() && s[0] >= '0' && s[0] <= '9') {
            v = v * 10 + (s[0] - '0');
            s.remove_prefix(1);
            if (v > 200)
                return false;
        }
        total += v * (part == 0 ? 3600 : part == 1 ? 60 : 1);
    }
    out = sign * total;
    return true;
}

bool SkipName(std::string_view& s) {
    if (!s.empty() && s[0] == '<') {
        const size_t end = s.find('>');
        if (end == std::string_view::npos)
            return false;
        s.remove_prefix(end + 1);
        return true;
    }
    size_t n = 0;
    while (n < s.size() && ((s[n] >= 'A' && s[n] <= 'Z') || (s[n] >= 'a' && s[n] <= 'z')))
        ++n;
    s.remove_prefix(n);
    return n >= 3;
}

bool ParseNumber(std::string_view& s, int& out) {
    if (s.empty() || s[0] < '0' || s[0] > '9')
        return false;
    out = 0;
    while (!s.empty() && s[0] >= '0' && s[0] <= '9') {
        out = out * 10 + (s[0] - '0');
        s.remove_prefix(1);
        if (out > 1000)
            return false;
    }
    return true;
}

}  // namespace

ZoneLocalTime::ZoneLocalTime(std::string zone) : zone_(std::move(zone)) {
    if (zone_.empty() || zone_.find("..") != std::string::npos || zone_[0] == '/')
        return;
    const char* dir = std::getenv("TZDIR");
    const std::string path = std::string(dir && dir[0] ? dir : "/usr/share/zoneinfo") + "/" + zone_;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return;
    const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    valid_ = Load(data);
}

bool ZoneLocalTime::Load(std::string_view data) {
    transitions_.clear();
    transitionTypes_.clear();
    types_.clear();
    rule_ = {};
    auto bytes = reinterpret_cast<const unsigned char*>(data.data());
    size_t pos = 0;
    auto header = [&](uint32_t counts[6]) {
        if (data.size() < pos + 44 || data.substr(pos, 4) != "TZif")
            return false;
        for (int i = 0; i < 6; ++i)
            counts[i] = Be32(bytes + pos + 20 + 4 * i);
        pos += 44;
        return true;
    };
    uint32_t c[6];  // isutcnt, isstdcnt, leapcnt, timecnt, typecnt, charcnt
    if (!header(c))
        return false;
    const char version = data[4];
    int timeSize = 4;
    if (version >= '2') {
        pos += c[3] * 4 + c[3] + c[4] * 6 + c[5] + c[2] * 8 + c[1] + c[0];
        if (!header(c))
            return false;
        timeSize = 8;
    }
    const size_t need =
        c[3] * (timeSize + 1) + c[4] * 6 + c[5] + c[2] * (timeSize + 4) + c[1] + c[0];
    if (c[4] == 0 || data.size() < pos + need)
        return false;
    for (uint32_t i = 0; i < c[3]; ++i) {
        const unsigned char* p = bytes + pos + i * timeSize;
        transitions_.push_back(timeSize == 8 ? Be64(p) : static_cast<int32_t>(Be32(p)));
    }
    pos += c[3] * timeSize;
    for (uint32_t i = 0; i < c[3]; ++i) {
        if (bytes[pos + i] >= c[4])
            return false;
        transitionTypes_.push_back(bytes[pos + i]);
    }
    pos += c[3];
    for (uint32_t i = 0; i < c[4]; ++i) {
        const unsigned char* p = bytes + pos + i * 6;
        types_.push_back({static_cast<int32_t>(Be32(p)), p[4] != 0});
    }
    pos += need - c[3] * (timeSize + 1);
    if (!std::is_sorted(transitions_.begin(), transitions_.end()))
        return false;
    if (timeSize == 8 && pos < data.size() && data[pos] == '\n') {
        const size_t end = data.find('\n', pos + 1);
        if (end != std::string_view::npos)
            ParseRule(data.substr(pos + 1, end - pos - 1));
    }
    return true;
}

bool ZoneLocalTime::ParseRule(std::string_view s) {
    Rule rule;
    int32_t offset = 0;
    if (!SkipName(s) || !ParseClock(s, offset))
        return false;
    rule.standard = {-offset, false};
    if (s.empty()) {
        rule.valid = true;
        rule_ = rule;
        return true;
    }
    if (!SkipName(s))
        return false;
    rule.daylight = {rule.standard.utoff + 3600, true};
    if (!s.empty() && s[0] != ',') {
        if (!ParseClock(s, offset))
            return false;
        rule.daylight.utoff = -offset;
    }
    auto date = [&](RuleDate& d) {
        if (s.empty() || s[0] != ',')
            return false;
        s.remove_prefix(1);
        if (!s.empty() && s[0] == 'M') {
            s.remove_prefix(1);
            d.kind = 'M';
            if (!ParseNumber(s, d.month) || s.empty() || s[0] != '.')
                return false;
            s.remove_prefix(1);
            if (!ParseNumber(s, d.week) || s.empty() || s[0] != '.')
                return false;
            s.remove_prefix(1);
            if (!ParseNumber(s, d.day))
                return false;
            if (d.month < 1 || d.month > 12 || d.week < 1 || d.week > 5 || d.day > 6)
                return false;
        } else {
            d.kind = 'D';
            if (!s.empty() && s[0] == 'J') {
                d.kind = 'J';
                s.remove_prefix(1);
            }
            if (!ParseNumber(s, d.day) || d.day > 365)
                return false;
        }
        if (!s.empty() && s[0] == '/') {
            s.remove_prefix(1);
            if (!ParseClock(s, d.time))
                return false;
        }
        return true;
    };
    if (!date(rule.start) || !date(rule.end) || !s.empty())
        return false;
    rule.hasDst = true;
    rule.valid = true;
    rule_ = rule;
    return true;
}

ZoneLocalTime::Type ZoneLocalTime::RuleTypeAt(int64_t value) const {
    if (!rule_.hasDst)
        return rule_.standard;
    // Local midnight of the rule's day in `year`, in seconds since 1970 as if UTC.
    auto dayStart = [](const RuleDate& d, int64_t year) -> int64_t {
        int64_t day;
        if (d.kind == 'M') {
            const int64_t first = DaysFromCivil(year, d.month, 1);
            const int firstWeekday = static_cast<int>(((first % 7) + 11) % 7);  // 1970-01-01 Thu
            int mday = 1 + (d.day - firstWeekday + 7) % 7 + (d.week - 1) * 7;
            while (mday > DaysInMonth(year, d.month))
                mday -= 7;
            day = first + mday - 1;
        } else if (d.kind == 'J') {
            day = DaysFromCivil(year, 1, 1) + d.day - 1 + (IsLeap(year) && d.day >= 60 ? 1 : 0);
        } else {
            day = DaysFromCivil(year, 1, 1) + d.day;
        }
        return day * kDay;
    };
    // The year by local standard time decides which year's changes apply.
    const int64_t year = YearOf(value + rule_.standard.utoff);
    const int64_t start = dayStart(rule_.start, year) + rule_.start.time - rule_.standard.utoff;
    const int64_t end = dayStart(rule_.end, year) + rule_.end.time - rule_.daylight.utoff;
    const bool dst =
        start < end ? (value >= start && value < end) : !(value >= end && value < start);
    return dst ? rule_.daylight : rule_.standard;
}

ZoneLocalTime::Type ZoneLocalTime::TypeAt(int64_t value) const {
    if (transitions_.empty() || value < transitions_.front()) {
        if (transitions_.empty() && rule_.valid)
            return RuleTypeAt(value);
        return types_.front();
    }
    if (value >= transitions_.back() && rule_.valid)
        return RuleTypeAt(value);
    const auto it = std::upper_bound(transitions_.begin(), transitions_.end(), value);
    return types_[transitionTypes_[static_cast<size_t>(it - transitions_.begin()) - 1]];
}

bool ZoneLocalTime::Breakdown(int64_t value, std::tm& fields) const {
    if (!valid_)
        return false;
    const Type type = TypeAt(value);
    const auto local = static_cast<std::time_t>(value + type.utoff);
    if (!::gmtime_r(&local, &fields))
        return false;
    fields.tm_isdst = type.isdst ? 1 : 0;
    fields.tm_gmtoff = type.utoff;
    fields.tm_zone = nullptr;
    return true;
}

bool ZoneLocalTime::Compose(std::tm fields, int64_t& value) const {
    if (!valid_)
        return false;
    const int hint = fields.tm_isdst;
    fields.tm_isdst = 0;
    fields.tm_wday = -1;
    const std::time_t localAsUtc = ::timegm(&fields);
    if (localAsUtc == static_cast<std::time_t>(-1) && fields.tm_wday == -1)
        return false;
    const int64_t local = localAsUtc;

    std::set<int32_t> offsets;
    for (const Type& t : types_)
        offsets.insert(t.utoff);
    if (rule_.valid) {
        offsets.insert(rule_.standard.utoff);
        if (rule_.hasDst)
            offsets.insert(rule_.daylight.utoff);
    }
    std::vector<std::pair<int64_t, bool>> matches;  // instant, isdst
    for (int32_t utoff : offsets) {
        const int64_t candidate = local - utoff;
        const Type t = TypeAt(candidate);
        if (t.utoff == utoff)
            matches.emplace_back(candidate, t.isdst);
    }
    if (matches.empty()) {
        // Skipped by a change forward: read the clock with the offset in force before it.
        const int64_t before = local - *offsets.rbegin();
        value = local - TypeAt(before).utoff;
        return true;
    }
    std::sort(matches.begin(), matches.end());
    value = matches.front().first;
    if (hint >= 0) {
        for (const auto& m : matches) {
            if (m.second == (hint > 0)) {
                value = m.first;
                break;
            }
        }
    }
    return true;
}

}  // namespace vistrel
