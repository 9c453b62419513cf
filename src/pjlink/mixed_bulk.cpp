#include "pjlink/mixed_bulk.h"

#include "protocol/codec.h"
#include "protocol/option_tables.h"

namespace vistrel::pjlink {

std::optional<BodyAction> ActionForBody(std::string_view body) {
    if (body == vistrel::BuildCommand(CommandAt(kTaskCommandTable, 0)))
        return BodyAction{BulkAction::PowerOn, {}};
    if (body == vistrel::BuildCommand(CommandAt(kTaskCommandTable, 1)))
        return BodyAction{BulkAction::PowerOff, {}};
    for (int i = 0; i < RowCount(kSourceTable); ++i) {
        const std::string_view command = CommandAt(kSourceTable, i);
        if (!command.empty() && body == vistrel::BuildCommand(command))
            return BodyAction{BulkAction::Source, std::string(LabelAt(kSourceTable, i))};
    }
    return std::nullopt;
}

std::vector<std::string> BulkLines(BulkAction action, std::string_view source,
                                   const std::optional<Status>& status, std::string& skipped) {
    switch (action) {
        case BulkAction::PowerOn:
            return {BuildCommand(1, "POWR", "1")};
        case BulkAction::PowerOff:
            return {BuildCommand(1, "POWR", "0")};
        case BulkAction::Source: {
            const auto input = InputForSource(source, status.value_or(Status{}));
            if (!input) {
                skipped = "source " + std::string(source) + " skipped: no such input";
                return {};
            }
            return {BuildCommand(1, "INPT", *input)};
        }
    }
    return {};
}

std::vector<BulkTarget> SendPjlinkPart(Monitor& monitor, const std::vector<BulkTarget>& targets,
                                       BulkAction action, std::string_view source,
                                       std::function<void(std::vector<CommandResult>)> done) {
    std::vector<BulkTarget> others;
    std::vector<std::string> ips;
    for (const BulkTarget& target : targets) {
        if (IsPjlinkKey(target.mac))
            ips.push_back(target.ip);
        else
            others.push_back(target);
    }
    const std::string sourceText(source);
    monitor.Command(
        ips,
        [&monitor, action, sourceText](const std::string& ip, std::string& skipped) {
            return BulkLines(action, sourceText, monitor.StatusOf(ip), skipped);
        },
        std::move(done));
    return others;
}

std::string DescribeFailures(const std::vector<CommandResult>& results) {
    std::string text;
    for (const CommandResult& result : results) {
        if (result.ok)
            continue;
        if (!text.empty())
            text += '\n';
        text += result.ip + ": " + result.text;
    }
    return text;
}

}  // namespace vistrel::pjlink
