#include "sim/web_control.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <functional>
#include <map>

namespace vistrel::sim {
namespace {

constexpr size_t kTextField = 32;
constexpr size_t kMessageWidth = 30;

std::string Padded(std::string_view text, size_t width) {
    std::string out(text.substr(0, width));
    out.resize(width, ' ');
    return out;
}

// Zero-padded decimal in a fixed width; a minus sign takes the first place ("-05", "010").
std::string Number(int value, int width) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*d", width, value);
    return buf;
}

std::string Digit(int value) {
    return std::string(1, static_cast<char>('0' + value % 10));
}

std::string TrimRight(std::string_view text) {
    size_t end = text.size();
    while (end > 0 && std::isspace(static_cast<unsigned char>(text[end - 1]))) {
        --end;
    }
    return std::string(text.substr(0, end));
}

// A whole value: optional leading blanks, optional sign, digits, nothing else. The console
// writes values plainly, zero-padded ("005") or blank-padded ("  5").
std::optional<int> WholeNumber(std::string_view text) {
    size_t pos = 0;
    while (pos < text.size() && text[pos] == ' ') {
        ++pos;
    }
    text.remove_prefix(pos);
    if (text.empty() || text.size() > 6) {
        return std::nullopt;
    }
    bool negative = text.front() == '-';
    if (text.front() == '-' || text.front() == '+') {
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    return negative ? -value : value;
}

std::optional<uint32_t> HexAddress(std::string_view text) {
    if (text.size() != 8) {
        return std::nullopt;
    }
    uint32_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (ec != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::string Hex(uint32_t value) {
    char buf[12];
    std::snprintf(buf, sizeof buf, "%08X", value);
    return buf;
}

uint32_t PackedOr(std::string_view dotted, uint32_t fallback) {
    return PackAddress(dotted).value_or(fallback);
}

// One settable value: the accepted range of the command's value and where it lands.
struct RangeSetting {
    int low;
    int high;
    int ControlSettings::*field;
};

// Commands whose value selects a list position: value -> index.
struct ChoiceSetting {
    std::map<int, int> valueToIndex;
    int ControlSettings::*field;
};

const std::map<std::string, RangeSetting, std::less<>>& RangeSettings() {
    static const std::map<std::string, RangeSetting, std::less<>> table = {
        {"0002", {0, 1, &ControlSettings::avMute}},
        {"0004", {0, 1, &ControlSettings::freeze}},
        {"0021", {0, 100, &ControlSettings::brightness}},
        {"0022", {0, 100, &ControlSettings::contrast}},
        {"0023", {0, 31, &ControlSettings::sharpness}},
        {"0034", {0, 10, &ControlSettings::brilliantColor}},
        {"0062", {-5, 25, &ControlSettings::zoom}},
        {"0064", {-50, 50, &ControlSettings::imageShift}},
        {"0066", {-40, 40, &ControlSettings::keystone}},
        {"0069", {0, 1, &ControlSettings::autoKeystone}},
        {"0074", {0, 31, &ControlSettings::phase}},
        {"0079", {0, 99, &ControlSettings::projectorId}},
        {"0081", {0, 10, &ControlSettings::volume}},
        {"0088", {0, 2, &ControlSettings::closedCaption}},
        {"0090", {0, 1, &ControlSettings::threeD}},
        {"0091", {0, 1, &ControlSettings::threeDSyncInvert}},
        {"00100", {0, 1, &ControlSettings::sourceLock}},
        {"00101", {0, 1, &ControlSettings::highAltitude}},
        {"00102", {0, 1, &ControlSettings::infoHide}},
        {"00103", {0, 1, &ControlSettings::keypadLock}},
        {"00105", {0, 1, &ControlSettings::directPower}},
        {"00106", {0, 180, &ControlSettings::autoPowerOff}},
        {"00107", {0, 999, &ControlSettings::sleepTimer}},
        {"00110", {0, 1, &ControlSettings::brightMode}},
    };
    return table;
}

const std::map<std::string, ChoiceSetting, std::less<>>& ChoiceSettings() {
    static const std::map<std::string, ChoiceSetting, std::less<>> table = {
        {"0035", {{{1, 0}, {2, 1}, {3, 2}, {4, 3}}, &ControlSettings::degamma}},
        {"0036", {{{1, 0}, {2, 1}, {3, 2}}, &ControlSettings::colorTemp}},
        {"0037", {{{1, 0}, {2, 1}, {3, 2}}, &ControlSettings::colorSpace}},
        {"0060", {{{1, 0}, {2, 1}, {3, 2}, {6, 3}, {7, 4}}, &ControlSettings::displayFormat}},
        {"0071", {{{1, 0}, {3, 1}, {2, 2}, {4, 3}}, &ControlSettings::projection}},
        {"0082", {{{1, 0}, {2, 1}}, &ControlSettings::logo}},
        {"00104", {{{2, 0}, {3, 1}, {1, 2}, {4, 3}, {5, 4}}, &ControlSettings::background}},
    };
    return table;
}

// Source command values -> the projector's source code.
const std::map<int, int>& SourceValues() {
    static const std::map<int, int> table = {{1, 5}, {5, 1}, {6, 2}, {9, 3}, {10, 4}};
    return table;
}

// Carries out one command code text ("~0012 5"). Returns false for an unknown code, a
// malformed value or a command the projector cannot do in its state.
bool RunCommand(ProjectorState& state, std::string_view text, const ProjectorState* startUp) {
    if (text.size() < 7 || text[0] != '~') {
        return false;
    }
    size_t digits = 0;
    while (1 + digits < text.size() && std::isdigit(static_cast<unsigned char>(text[1 + digits]))) {
        ++digits;
    }
    if ((digits != 4 && digits != 5) || 1 + digits >= text.size() || text[1 + digits] != ' ') {
        return false;
    }
    std::string_view code = text.substr(1, digits);
    std::string_view valueText = text.substr(2 + digits);

    if (code == "0000") {
        auto value = WholeNumber(valueText);
        if (value == 1) {
            state.power = kPowerOn;
            return true;
        }
        if (value == 0 && state.power == kPowerOn) {
            state.power = kPowerOff;
            return true;
        }
        return false;
    }
    // Everything else needs a projector that is switched on.
    if (state.power != kPowerOn) {
        return false;
    }
    if (code == "00210") {
        if (valueText.size() > kMessageWidth) {
            return false;
        }
        state.control.message = TrimRight(valueText);
        return true;
    }
    auto value = WholeNumber(valueText);
    if (!value) {
        return false;
    }
    if (code == "0001" || code == "00112") {
        if (*value != 1) {
            return false;
        }
        if (code == "00112") {
            ResetSettings(state, startUp);
        }
        return true;
    }
    if (code == "0012") {
        auto found = SourceValues().find(*value);
        if (found == SourceValues().end()) {
            return false;
        }
        state.source = found->second;
        return true;
    }
    if (code == "0020") {
        if (*value < 1 || *value > 9) {
            return false;
        }
        state.displayMode = *value;
        return true;
    }
    if (auto range = RangeSettings().find(code); range != RangeSettings().end()) {
        if (*value < range->second.low || *value > range->second.high) {
            return false;
        }
        state.control.*(range->second.field) = *value;
        return true;
    }
    if (auto choice = ChoiceSettings().find(code); choice != ChoiceSettings().end()) {
        auto index = choice->second.valueToIndex.find(*value);
        if (index == choice->second.valueToIndex.end()) {
            return false;
        }
        state.control.*(choice->second.field) = index->second;
        return true;
    }
    return false;
}

bool Digits01(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c == '0' || c == '1'; });
}

WebReply RunSet(ProjectorState& state, const std::string& address, std::string_view text) {
    WebReply reply{std::string(kReplyTimeout), "set", std::nullopt};
    auto field = [&](size_t i) { return TrimRight(text.substr(i * kTextField, kTextField)); };
    if (text.starts_with("group")) {
        text.remove_prefix(5);
        if (text.size() > 2 * kTextField) {
            return reply;
        }
        state.group = TrimRight(text.substr(0, kTextField));
        state.name = text.size() > kTextField ? TrimRight(text.substr(kTextField)) : "";
    } else if (text.starts_with("alert")) {
        text.remove_prefix(5);
        if (text.size() != 7 * kTextField + 4 || !Digits01(text.substr(7 * kTextField))) {
            return reply;
        }
        AlertSettings& a = state.alert;
        a.mailTo = field(0);
        a.mailCc = field(1);
        a.mailSubject = field(2);
        a.mailFrom = field(3);
        a.smtpServer = field(4);
        a.smtpUser = field(5);
        a.smtpPassword = field(6);
        a.fanLock = text[7 * kTextField] - '0';
        a.overTemperature = text[7 * kTextField + 1] - '0';
        a.lampHours = text[7 * kTextField + 2] - '0';
        a.lampFail = text[7 * kTextField + 3] - '0';
    } else if (text == "test") {
        ++state.alert.testMails;
    } else if (text.starts_with("network")) {
        text.remove_prefix(7);
        if (text.size() != 33 || !Digits01(text.substr(0, 1))) {
            return reply;
        }
        std::array<uint32_t, 4> values{};
        for (size_t i = 0; i < values.size(); ++i) {
            auto value = HexAddress(text.substr(1 + i * 8, 8));
            if (!value) {
                return reply;
            }
            values[i] = *value;
        }
        if (values[0] == 0 || values[0] == 0xFFFFFFFFu) {
            return reply;
        }
        state.network.dhcp = text[0] - '0';
        state.network.mask = DottedAddress(values[1]);
        state.network.gateway = DottedAddress(values[2]);
        state.network.dns = DottedAddress(values[3]);
        std::string next = DottedAddress(values[0]);
        // Under DHCP the server, not the record, decides the address: the projector stays.
        if (next != address && state.network.dhcp == 0) {
            reply.newAddress = next;
        }
    } else if (text.starts_with("user")) {
        text.remove_prefix(4);
        if (text.size() != 2 * kTextField + 2 || !Digits01(text.substr(0, 1)) ||
            !Digits01(text.substr(1 + kTextField, 1))) {
            return reply;
        }
        state.user.adminAccess = text[0] - '0';
        state.user.adminPassword = TrimRight(text.substr(1, kTextField));
        state.user.userAccess = text[1 + kTextField] - '0';
        state.user.userPassword = TrimRight(text.substr(2 + kTextField, kTextField));
    } else {
        return reply;
    }
    reply.text = kReplyOk;
    return reply;
}

}  // namespace

std::optional<uint32_t> PackAddress(std::string_view dotted) {
    uint32_t packed = 0;
    const char* p = dotted.data();
    const char* end = p + dotted.size();
    for (int part = 0; part < 4; ++part) {
        unsigned octet = 0;
        auto [next, ec] = std::from_chars(p, end, octet);
        if (ec != std::errc() || octet > 255 || next - p > 3) {
            return std::nullopt;
        }
        packed = (packed << 8) | octet;
        p = next;
        if (part < 3) {
            if (p == end || *p != '.') {
                return std::nullopt;
            }
            ++p;
        }
    }
    if (p != end) {
        return std::nullopt;
    }
    return packed;
}

std::string DottedAddress(uint32_t packed) {
    char buf[20];
    std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", packed >> 24, (packed >> 16) & 255,
                  (packed >> 8) & 255, packed & 255);
    return buf;
}

std::string InfoReply(const ProjectorState& state) {
    return "<return>\n<info>OK" + Digit(state.power) + Number(state.lampHours % 10000, 4) +
           Number(state.source, 2) + Padded(state.firmware, 4) + Digit(state.displayMode);
}

std::string GroupReply(const ProjectorState& state) {
    return "<return>\n<group>" + Padded(state.group, kTextField) + Padded(state.name, kTextField);
}

std::string ModelReply(const ProjectorState& state) {
    // The model code sits at offset 18, two characters after the tag.
    return "<return>\n<model>00" + Padded(state.model, 1);
}

std::string ControlReply(const ProjectorState& state) {
    const ControlSettings& c = state.control;
    std::string r = "<return>\n<control>";     // offsets 0..17
    r += "00";                                 // 18, 19: not read
    r += state.power == kPowerOn ? "1" : "0";  // 20
    r += "0";                                  // 21
    r += Digit(c.brightMode);                  // 22
    r += Digit(c.freeze);                      // 23
    r += Digit(c.sourceLock);                  // 24
    r += Digit(c.avMute);                      // 25
    r += c.infoHide ? "0" : "1";               // 26: 0 means hide on
    r += "0";                                  // 27
    r += Digit(c.highAltitude);                // 28
    r += Digit(c.keypadLock);                  // 29
    r += "00";                                 // 30, 31
    r += Digit(c.directPower);                 // 32
    r += "0";                                  // 33
    r += Digit(state.source);                  // 34
    r += Digit(c.displayFormat);               // 35
    r += Digit(state.displayMode);             // 36
    r += Digit(c.colorTemp);                   // 37
    r += Digit(c.degamma);                     // 38
    r += Digit(c.projection);                  // 39
    r += Digit(c.logo);                        // 40
    r += Digit(c.background);                  // 41
    r += Digit(c.colorSpace);                  // 42
    r += Number(c.projectorId, 2);             // 43
    r += Number(c.volume, 2);                  // 45
    r += Number(c.sharpness, 2);               // 47
    r += Number(c.phase, 2);                   // 49
    r += Number(c.brilliantColor, 2);          // 51
    r += Number(c.zoom, 2);                    // 53
    r += Number(c.brightness, 3);              // 55
    r += Number(c.contrast, 3);                // 58
    r += Number(c.imageShift, 3);              // 61
    r += Number(c.keystone, 3);                // 64
    r += Number(c.autoPowerOff, 3);            // 67
    r += Number(c.sleepTimer, 3);              // 70
    r += Digit(c.closedCaption);               // 73
    r += Digit(c.autoKeystone);                // 74
    r += Digit(c.threeD);                      // 75
    return r;
}

std::string NetworkReply(const ProjectorState& state, const std::string& address) {
    const NetworkSettings& n = state.network;
    return "<return>\n<network>" + Hex(PackedOr(address, 0)) + Hex(PackedOr(n.mask, 0)) +
           Hex(PackedOr(n.gateway, 0)) + Hex(PackedOr(n.dns, 0)) + Digit(n.dhcp);
}

std::string UserReply(const ProjectorState& state) {
    return "<return>\n<user>" + Digit(state.user.adminAccess) + Digit(state.user.userAccess);
}

std::string AlertReply(const ProjectorState& state) {
    const AlertSettings& a = state.alert;
    std::string r = "<return>\n<alert>";
    for (const std::string* text : {&a.mailTo, &a.mailCc, &a.mailSubject, &a.mailFrom,
                                    &a.smtpServer, &a.smtpUser, &a.smtpPassword}) {
        r += Padded(*text, kTextField);
    }
    return r + Digit(a.fanLock) + Digit(a.overTemperature) + Digit(a.lampHours) + Digit(a.lampFail);
}

WebReply HandleWebRequest(ProjectorState& state, const std::string& address, std::string_view body,
                          bool commandsTimeOut, const ProjectorState* startUp) {
    if (body.starts_with("query=")) {
        std::string_view topic = body.substr(6);
        WebReply reply{"", std::string(topic), std::nullopt};
        if (topic == "info") {
            reply.text = InfoReply(state);
        } else if (topic == "group") {
            reply.text = GroupReply(state);
        } else if (topic == "model") {
            reply.text = ModelReply(state);
        } else if (topic == "control") {
            reply.text = ControlReply(state);
        } else if (topic == "network") {
            reply.text = NetworkReply(state, address);
        } else if (topic == "user") {
            reply.text = UserReply(state);
        } else if (topic == "alert") {
            reply.text = AlertReply(state);
        } else {
            reply.topic.clear();
            reply.text = kReplyTimeout;
        }
        return reply;
    }
    if (body.starts_with("command=")) {
        bool done = !commandsTimeOut && RunCommand(state, body.substr(8), startUp);
        return {std::string(done ? kReplyOk : kReplyTimeout), "command", std::nullopt};
    }
    if (body.starts_with("set=")) {
        if (commandsTimeOut) {
            return {std::string(kReplyTimeout), "set", std::nullopt};
        }
        return RunSet(state, address, body.substr(4));
    }
    return {std::string(kReplyTimeout), "", std::nullopt};
}

}  // namespace vistrel::sim
