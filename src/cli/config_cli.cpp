// config broadcast: the directed broadcast addresses of the store. The smallest command
// family, and the one to copy for a new command.
#include "cli/commands.h"
#include "cli/config_commands.h"

namespace vistrel::cli {

void AddConfigCommands(CommandTree& tree) {
    CLI::App* family =
        tree.AddFamily("config", "The console's stored configuration: config broadcast",
                       "config broadcast list | add ADDR... | remove ADDR...");
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
}

}  // namespace vistrel::cli
