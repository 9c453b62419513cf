#include "pjlink/pjlink_codec.h"

#include <algorithm>

#include "pjlink/md5.h"

namespace vistrel::pjlink {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsUpper(char c) {
    return c >= 'A' && c <= 'Z';
}

// Splits on single or repeated spaces.
std::vector<std::string_view> Words(std::string_view text) {
    std::vector<std::string_view> words;
    size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && text[at] == ' ')
            ++at;
        const size_t start = at;
        while (at < text.size() && text[at] != ' ')
            ++at;
        if (at > start)
            words.push_back(text.substr(start, at - start));
    }
    return words;
}

// Control characters never belong in a value shown to the operator.
std::string Printable(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (char c : value)
        out += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? '?' : c;
    return out;
}

}  // namespace

std::string BuildCommand(int commandClass, std::string_view name, std::string_view parameter) {
    std::string line = "%";
    line += static_cast<char>('0' + std::clamp(commandClass, 1, 2));
    line.append(name);
    line += ' ';
    line.append(parameter);
    line += '\r';
    return line;
}

std::string AuthDigest(std::string_view random, std::string_view password) {
    std::string input(random);
    input.append(password);
    return Md5Hex(input);
}

std::string AuthenticatedCommand(std::string_view random, std::string_view password,
                                 const std::string& command) {
    return AuthDigest(random, password) + command;
}

Greeting ParseGreeting(std::string_view line) {
    Greeting greeting;
    if (line.substr(0, 7) != "PJLINK ")
        return greeting;
    const std::string_view rest = line.substr(7);
    if (rest == "0") {
        greeting.kind = Greeting::Kind::Open;
    } else if (rest == "ERRA") {
        greeting.kind = Greeting::Kind::Refused;
    } else if (rest.size() > 2 && rest.substr(0, 2) == "1 ") {
        const std::string_view random = rest.substr(2);
        // Eight hex digits in the standard; anything printable and short will do for a digest.
        if (random.size() <= 32 &&
            std::all_of(random.begin(), random.end(), [](char c) { return c > ' ' && c < 0x7f; })) {
            greeting.kind = Greeting::Kind::Authenticate;
            greeting.random.assign(random);
        }
    }
    return greeting;
}

Reply ParseReply(std::string_view line) {
    Reply reply;
    if (line == "PJLINK ERRA") {
        reply.outcome = Outcome::Refused;
        return reply;
    }
    if (line.size() < 7 || line.size() >= kMaxLine || line[0] != '%' ||
        (line[1] != '1' && line[1] != '2') || line[6] != '=')
        return reply;
    for (int i = 2; i < 6; ++i) {
        if (!IsUpper(line[i]) && !IsDigit(line[i]))
            return reply;
    }
    reply.commandClass = line[1] - '0';
    reply.name.assign(line.substr(2, 4));
    const std::string_view value = line.substr(7);
    if (value == "OK")
        reply.outcome = Outcome::Ok;
    else if (value == "ERR1")
        reply.outcome = Outcome::Undefined;
    else if (value == "ERR2")
        reply.outcome = Outcome::BadParam;
    else if (value == "ERR3")
        reply.outcome = Outcome::Busy;
    else if (value == "ERR4")
        reply.outcome = Outcome::Failure;
    else {
        reply.outcome = Outcome::Value;
        reply.value = Printable(value);
    }
    return reply;
}

const char* OutcomeText(Outcome outcome) {
    switch (outcome) {
        case Outcome::Value:
        case Outcome::Ok:
            return "OK";
        case Outcome::Undefined:
            return "not supported";
        case Outcome::BadParam:
            return "out of range";
        case Outcome::Busy:
            return "unavailable now";
        case Outcome::Failure:
            return "projector failure";
        case Outcome::Refused:
            return "PJLink password refused";
        case Outcome::Malformed:
            break;
    }
    return "no valid reply";
}

std::optional<Power> ParsePower(std::string_view value) {
    if (value.size() != 1 || value[0] < '0' || value[0] > '3')
        return std::nullopt;
    return static_cast<Power>(value[0] - '0');
}

const char* PowerLabel(Power power) {
    switch (power) {
        case Power::Standby:
            return "OFF";
        case Power::On:
            return "ON";
        case Power::Cooling:
            return "Cooling down";
        case Power::WarmUp:
            return "Warming up";
    }
    return "";
}

std::string Input::Code() const {
    return std::string{static_cast<char>('0' + type), number};
}

std::optional<Input> ParseInput(std::string_view value) {
    if (value.size() != 2 || value[0] < '1' || value[0] > '6')
        return std::nullopt;
    const char n = value[1];
    if (!(n >= '1' && n <= '9') && !IsUpper(n))
        return std::nullopt;
    return Input{value[0] - '0', n};
}

std::string InputLabel(const Input& input) {
    static constexpr const char* kTypes[] = {"RGB",     "Video",   "Digital",
                                             "Storage", "Network", "Internal"};
    if (input.type < 1 || input.type > 6)
        return {};
    return std::string(kTypes[input.type - 1]) + ' ' + input.number;
}

std::vector<Input> ParseInputList(std::string_view value) {
    std::vector<Input> inputs;
    for (std::string_view word : Words(value)) {
        if (auto input = ParseInput(word);
            input && std::find(inputs.begin(), inputs.end(), *input) == inputs.end())
            inputs.push_back(*input);
    }
    return inputs;
}

std::optional<AvMute> ParseAvMute(std::string_view value) {
    if (value.size() != 2 || value[0] < '1' || value[0] > '3' ||
        (value[1] != '0' && value[1] != '1'))
        return std::nullopt;
    const bool on = value[1] == '1';
    AvMute mute;
    // "21"/"20" alone speak only of audio and "11"/"10" only of video; a projector reports
    // the combined state as "31" or "30".
    mute.video = on && value[0] != '2';
    mute.audio = on && value[0] != '1';
    return mute;
}

std::optional<ErrorStatus> ParseErrorStatus(std::string_view value) {
    if (value.size() != kErrorItems)
        return std::nullopt;
    ErrorStatus status{};
    for (int i = 0; i < kErrorItems; ++i) {
        if (value[i] < '0' || value[i] > '2')
            return std::nullopt;
        status[i] = value[i] - '0';
    }
    return status;
}

const char* ErrorItemName(int item) {
    static constexpr const char* kNames[] = {"Fan",   "Lamp",   "Temperature",
                                             "Cover", "Filter", "Other"};
    return item >= 0 && item < kErrorItems ? kNames[item] : "";
}

std::optional<uint32_t> ParseCount(std::string_view value) {
    if (value.empty() || value.size() > 9 || !std::all_of(value.begin(), value.end(), IsDigit))
        return std::nullopt;
    uint32_t n = 0;
    for (char c : value)
        n = n * 10 + static_cast<uint32_t>(c - '0');
    return n;
}

std::optional<std::vector<Lamp>> ParseLamps(std::string_view value) {
    const std::vector<std::string_view> words = Words(value);
    if (words.empty() || words.size() % 2 != 0 || words.size() > 16)
        return std::nullopt;
    std::vector<Lamp> lamps;
    for (size_t i = 0; i < words.size(); i += 2) {
        const auto hours = ParseCount(words[i]);
        if (!hours || (words[i + 1] != "0" && words[i + 1] != "1"))
            return std::nullopt;
        lamps.push_back({*hours, words[i + 1] == "1"});
    }
    return lamps;
}

bool ApplyReply(const Reply& reply, Status& status, std::string_view innmInput) {
    if (reply.outcome != Outcome::Value)
        return false;
    const std::string& n = reply.name;
    const std::string& v = reply.value;
    if (n == "POWR") {
        status.power = ParsePower(v);
        return status.power.has_value();
    }
    if (n == "INPT") {
        status.input = ParseInput(v);
        return status.input.has_value();
    }
    if (n == "AVMT") {
        status.avMute = ParseAvMute(v);
        return status.avMute.has_value();
    }
    if (n == "FREZ") {
        if (v != "0" && v != "1")
            return false;
        status.freeze = v == "1";
        return true;
    }
    if (n == "ERST") {
        status.errors = ParseErrorStatus(v);
        return status.errors.has_value();
    }
    if (n == "LAMP") {
        auto lamps = ParseLamps(v);
        status.lamps = lamps.value_or(std::vector<Lamp>{});
        return lamps.has_value();
    }
    if (n == "INST") {
        status.inputs = ParseInputList(v);
        return true;
    }
    if (n == "FILT") {
        status.filterHours = ParseCount(v);
        return status.filterHours.has_value();
    }
    if (n == "CLSS") {
        // Class "2" and above speak class 2; anything unreadable is taken as class 1.
        status.commandClass = (v.size() == 1 && v[0] >= '2' && v[0] <= '9') ? 2 : 1;
        return true;
    }
    if (n == "INNM") {
        const auto input = ParseInput(innmInput);
        if (!input)
            return false;
        for (auto& [code, name] : status.inputNames) {
            if (code == input->Code()) {
                name = v;
                return true;
            }
        }
        status.inputNames.emplace_back(input->Code(), v);
        return true;
    }
    std::string* text = n == "NAME"   ? &status.name
                        : n == "INF1" ? &status.maker
                        : n == "INF2" ? &status.model
                        : n == "INFO" ? &status.other
                        : n == "SNUM" ? &status.serial
                        : n == "SVER" ? &status.software
                                      : nullptr;
    if (text == nullptr)
        return false;
    *text = v;
    return true;
}

std::string SourceLabel(const Status& status) {
    if (!status.input)
        return {};
    for (const auto& [code, name] : status.inputNames) {
        if (code == status.input->Code() && !name.empty())
            return name;
    }
    return InputLabel(*status.input);
}

std::vector<std::string> PollCommands(int commandClass) {
    std::vector<std::string> lines = {
        BuildCommand(1, "POWR", "?"), BuildCommand(1, "INPT", "?"), BuildCommand(1, "AVMT", "?"),
        BuildCommand(1, "ERST", "?"), BuildCommand(1, "LAMP", "?"), BuildCommand(1, "NAME", "?"),
        BuildCommand(1, "INF1", "?"), BuildCommand(1, "INF2", "?"), BuildCommand(1, "CLSS", "?"),
    };
    if (commandClass >= 2) {
        for (const char* name : {"SVER", "SNUM", "FILT", "INST"})
            lines.push_back(BuildCommand(2, name, "?"));
    } else {
        lines.push_back(BuildCommand(1, "INST", "?"));
    }
    return lines;
}

}  // namespace vistrel::pjlink
