// config broadcast: the directed broadcast addresses of the store; config health: the
// thresholds of health. The smallest command
// family, and the one to copy for a new command.
#include "cli/commands.h"
#include "cli/config_commands.h"
#include "health/health_thresholds.h"

namespace vistrel::cli {

void AddConfigCommands(CommandTree& tree) {
    CLI::App* family = tree.AddFamily(
        "config", "The console's stored configuration: config broadcast, config health",
        "config broadcast list | add ADDR... | remove ADDR... | config health");
    CliCommand& broadcast = tree.Add(
        family, "broadcast", "config broadcast", Command::ConfigBroadcast,
        "List, add or remove the directed broadcast addresses (such as 10.1.2.255) that the "
        "console window, run-schedules and discovery probe besides 255.255.255.255, to find "
        "projectors beyond a router.",
        "config broadcast list | add ADDR... | remove ADDR...");
    broadcast.Words({"list|add|remove"}, "ADDR");
    broadcast.completions = {"list", "add", "remove"};
    broadcast.run = RunConfigBroadcast;
    broadcast.parse = [&broadcast](const std::vector<std::string>& words, CliOptions& options) {
        const std::string action = words.empty() ? "list" : words[0];
        if (action == "list") {
            options.configAction = ConfigAction::List;
            if (words.size() > 1)
                broadcast.FailUsage();
            return;
        }
        if (action != "add" && action != "remove")
            broadcast.FailUsage();
        options.configAction = action == "add" ? ConfigAction::Add : ConfigAction::Remove;
        if (words.size() < 2)
            Fail("config broadcast " + action + " needs at least one address");
        for (size_t i = 1; i < words.size(); ++i) {
            if (std::string why = CheckAddress("config broadcast " + action, words[i]);
                !why.empty()) {
                Fail(why);
            }
            options.configAddresses.push_back(words[i]);
        }
    };

    CliCommand& health =
        tree.Add(family, "health", "config health", Command::ConfigHealth,
                 "Show the thresholds of health and health --check, or set those given: the lamp "
                 "hours that warn and that are critical, and the seconds a projector may stay "
                 "silent before the window counts it as not answering.",
                 "config health [--lamp-warning HOURS] [--lamp-critical HOURS] "
                 "[--not-answering SECONDS]");
    struct Given {
        std::vector<std::string> warning, critical, silent;
    };
    Given& given = tree.Keep<Given>();
    const auto number = [](const std::string& option, long long min, long long max) {
        return Check([option, min, max](const std::string& text) -> std::string {
            long long value = 0;
            if (ParseInt(text, min, max, value))
                return {};
            return option + " needs a whole number from " + std::to_string(min) + " to " +
                   std::to_string(max) + ", not \"" + text + "\"";
        });
    };
    AddValue(health.app, "--lamp-warning", given.warning, "Lamp hours that warn", "HOURS")
        ->check(number("--lamp-warning", kMinLampThreshold, kMaxLampThreshold));
    AddValue(health.app, "--lamp-critical", given.critical, "Lamp hours that are critical", "HOURS")
        ->check(number("--lamp-critical", kMinLampThreshold, kMaxLampThreshold));
    AddValue(health.app, "--not-answering", given.silent,
             "Seconds of silence before a projector counts as not answering", "SECONDS")
        ->check(number("--not-answering", kMinNotAnsweringSeconds, kMaxNotAnsweringSeconds));
    health.Words({});
    health.run = RunConfigHealth;
    health.parse = [&health, &given](const std::vector<std::string>& words, CliOptions& options) {
        if (!words.empty())
            health.FailUsage();
        const auto take = [](const std::vector<std::string>& values,
                             std::optional<uint32_t>& into) {
            long long value = 0;
            if (!values.empty() && ParseInt(values.back(), 0, 1LL << 31, value))
                into = static_cast<uint32_t>(value);
        };
        take(given.warning, options.lampWarningHours);
        take(given.critical, options.lampCriticalHours);
        take(given.silent, options.notAnsweringSeconds);
    };
}

}  // namespace vistrel::cli
