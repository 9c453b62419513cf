// get and set for PJLink projectors: the few settings PJLink carries, by the names the
// console's own projectors use.
#include <algorithm>

#include "cli/pjlink_commands.h"
#include "cli/setting_names.h"
#include "pjlink/pjlink_monitor.h"

namespace vistrel::cli {
namespace {

using namespace pjlink;

constexpr const char* kReadable[] = {"power", "source", "av-mute", "freeze"};

// The console's source label for an input, when one stands for it; else PJLink's own.
std::string SourceText(const Input& input) {
    static const std::pair<const char*, const char*> kLabels[] = {
        {"11", "VGA-1"}, {"12", "VGA-2"}, {"21", "Video"}, {"22", "S-Video"}};
    for (const auto& [code, label] : kLabels) {
        if (input.Code() == code)
            return label;
    }
    return input.type == 3 ? "HDMI" : InputLabel(input);
}

std::optional<std::string> ValueText(const std::string& name, const Reply& reply) {
    if (reply.outcome != pjlink::Outcome::Value)
        return std::nullopt;
    if (name == "power") {
        const auto power = ParsePower(reply.value);
        if (!power)
            return std::nullopt;
        switch (*power) {
            case Power::On:
                return "on";
            case Power::Standby:
                return "off";
            case Power::WarmUp:
                return "warming up";
            case Power::Cooling:
                return "cooling down";
        }
        return std::nullopt;
    }
    if (name == "source") {
        const auto input = ParseInput(reply.value);
        return input ? std::optional<std::string>(SourceText(*input)) : std::nullopt;
    }
    if (name == "av-mute") {
        const auto mute = ParseAvMute(reply.value);
        if (!mute)
            return std::nullopt;
        if (mute->video == mute->audio)
            return mute->video ? "on" : "off";
        return mute->video ? "video only" : "audio only";
    }
    if (name == "freeze" && (reply.value == "0" || reply.value == "1"))
        return reply.value == "1" ? "on" : "off";
    return std::nullopt;
}

std::string QueryFor(const std::string& name) {
    if (name == "power")
        return BuildCommand(1, "POWR", "?");
    if (name == "source")
        return BuildCommand(1, "INPT", "?");
    if (name == "av-mute")
        return BuildCommand(1, "AVMT", "?");
    return BuildCommand(2, "FREZ", "?");
}

// The line that gives a setting its value; empty with `why` set when PJLink cannot.
std::string LineFor(const SettingAssignment& a, const Status& inputs, std::string& why) {
    const bool on = OnOffValue(a.value).value_or(false);
    if (a.name == "power")
        return BuildCommand(1, "POWR", on ? "1" : "0");
    if (a.name == "av-mute")
        return BuildCommand(1, "AVMT", on ? "31" : "30");
    if (a.name == "freeze")
        return BuildCommand(2, "FREZ", on ? "1" : "0");
    if (a.name == "source") {
        if (const auto input = InputForSource(a.value, inputs))
            return BuildCommand(1, "INPT", *input);
        why = "source " + a.value + " skipped: no such input";
        return {};
    }
    if (a.name == "volume") {
        why = "PJLink steps the volume: give volume=up or volume=down";
        return {};
    }
    why = a.name + " is not a PJLink setting";
    return {};
}

}  // namespace

void PjlinkGet(const CliContext& context, const std::vector<std::string>& ips, Listing& listing,
               bool& allOk) {
    std::vector<std::string> names = context.options.settingNames;
    if (names.empty())
        names.assign(std::begin(kReadable), std::end(kReadable));
    std::vector<std::string> queries;
    for (const std::string& name : names) {
        if (std::find(std::begin(kReadable), std::end(kReadable), name) != std::end(kReadable))
            queries.push_back(QueryFor(name));
    }
    PjlinkSession session(context);
    const auto answers = session.ExchangeAll(ips, [&queries](size_t) { return queries; });
    for (size_t i = 0; i < ips.size(); ++i) {
        if (!queries.empty() && answers[i].failure != Failure::None) {
            allOk = false;
            listing.AddRow({Cell::Text(ips[i]), Cell::Null(), Cell::Null(),
                            Cell::Text(FailureText(answers[i].failure))});
            continue;
        }
        size_t asked = 0;
        for (const std::string& name : names) {
            const bool readable =
                std::find(std::begin(kReadable), std::end(kReadable), name) != std::end(kReadable);
            std::optional<std::string> value;
            std::string result = "not offered over PJLink";
            if (readable) {
                const size_t at = asked++;
                const Reply reply =
                    at < answers[i].replies.size() ? ParseReply(answers[i].replies[at]) : Reply{};
                value = ValueText(name, reply);
                // A class-1 projector has no freeze: it does not know the command.
                result = value || reply.outcome == pjlink::Outcome::Value
                             ? "OK"
                             : OutcomeText(reply.outcome);
            }
            listing.AddRow({Cell::Text(ips[i]), Cell::Text(name),
                            value ? Cell::Text(*value) : Cell::Null(), Cell::Text(result)});
        }
    }
}

void PjlinkSet(const CliContext& context, const std::vector<std::string>& ips, Listing& listing,
               bool& allOk) {
    const CliOptions& options = context.options;
    std::string names;
    for (const SettingAssignment& a : options.assignments)
        names += (names.empty() ? "" : " ") + a.name;
    if (options.volumeUp)
        names += (names.empty() ? "" : " ") + std::string("volume");
    const bool source = std::any_of(options.assignments.begin(), options.assignments.end(),
                                    [](const SettingAssignment& a) { return a.name == "source"; });

    PjlinkSession session(context);
    // A source is one of the inputs the projector has: ask for them first.
    std::vector<Status> inputs(ips.size());
    std::vector<std::string> results(ips.size());
    std::vector<bool> failed(ips.size(), false);
    if (source) {
        const std::vector<std::string> ask = {BuildCommand(1, "INST", "?")};
        const auto answers = session.ExchangeAll(ips, [&ask](size_t) { return ask; });
        for (size_t i = 0; i < ips.size(); ++i) {
            failed[i] = !ExchangeSucceeded(answers[i], results[i]);
            if (!failed[i] && !answers[i].replies.empty())
                ApplyReply(ParseReply(answers[i].replies.front()), inputs[i]);
        }
    }
    // Every setting or none: a projector that cannot take one is sent nothing.
    std::vector<std::vector<std::string>> lines(ips.size());
    for (size_t i = 0; i < ips.size(); ++i) {
        for (const SettingAssignment& a : options.assignments) {
            if (failed[i])
                break;
            std::string why;
            const std::string line = LineFor(a, inputs[i], why);
            if (line.empty()) {
                failed[i] = true;
                results[i] = why;
                lines[i].clear();
                break;
            }
            lines[i].push_back(line);
        }
        if (!failed[i] && options.volumeUp)
            lines[i].push_back(BuildCommand(2, "SVOL", *options.volumeUp ? "1" : "0"));
    }
    const auto sent = session.ExchangeAll(ips, [&lines](size_t i) { return lines[i]; });
    for (size_t i = 0; i < ips.size(); ++i) {
        if (!failed[i])
            failed[i] = !ExchangeSucceeded(sent[i], results[i]);
        allOk = allOk && !failed[i];
        if (failed[i])
            context.Err() << "vistrel-cli: " << ips[i] << ": " << results[i] << '\n';
        listing.AddRow({Cell::Text(ips[i]), Cell::Text(names), Cell::Text(results[i])});
    }
}

}  // namespace vistrel::cli
