// The projector jobs of the window's list: discover, status, power, source, group set, and
// the raw query and send.
#include <algorithm>

#include "cli/commands.h"
#include "cli/network_commands.h"
#include "protocol/option_tables.h"
#include "protocol/wire_fields.h"

namespace vistrel::cli {
namespace {

constexpr const char* kTopics[] = {"info", "group", "model", "control", "network", "user", "alert"};

void AddDiscover(CommandTree& tree) {
    CliCommand& discover = tree.Add(&tree.app, "discover", "discover", Command::Discover,
                                    "Broadcast a discovery probe and list the MAC and address of "
                                    "every projector that answers within SECONDS (default 2).",
                                    "discover [--wait SECONDS]");
    tree.Wait(discover, "Seconds to collect answers");
    discover.run = RunDiscover;
    discover.parse = [&discover](const std::vector<std::string>& words, CliOptions&) {
        if (!words.empty())
            discover.FailUsage();
    };
}

void AddStatus(CommandTree& tree) {
    CliCommand& status =
        tree.Add(&tree.app, "status", "status", Command::Status,
                 "Query projectors (every projector that answers discovery, and every PJLink "
                 "projector added, when no target is given) and list MAC, IP, group, name, "
                 "power, source, lamp hours, display mode and firmware.",
                 "status [TARGET...]");
    status.Words({}, "TARGET");
    tree.Targets(status);
    tree.Wait(status, "Seconds to wait for discovery answers");
    status.run = RunStatus;
    status.parse = [](const std::vector<std::string>& words, CliOptions& options) {
        TakeTargets(words, 0, options);
    };
}

void AddPower(CommandTree& tree) {
    CliCommand& power = tree.Add(&tree.app, "power", "power", Command::Power,
                                 "Switch projectors on or off. With --wait, ask each projector "
                                 "until it reports the requested state (off also accepts "
                                 "standby).",
                                 "power on|off TARGET... [--wait SECONDS]");
    power.Words({"on|off"}, "TARGET");
    power.completions = {"on", "off"};
    tree.Targets(power);
    tree.Wait(power, "Seconds to wait for every projector to reach the state");
    power.run = RunPower;
    power.parse = [](const std::vector<std::string>& words, CliOptions& options) {
        if (words.empty() || (words[0] != "on" && words[0] != "off"))
            Fail("usage: vistrel-cli power on|off IP... [--wait SECONDS]");
        options.powerOn = words[0] == "on";
        TakeTargets(words, 1, options);
        NeedTargets(options, "power " + words[0]);
    };
}

void AddSource(CommandTree& tree) {
    CliCommand& source = tree.Add(&tree.app, "source", "source", Command::Source,
                                  "Select an input source.", "source LABEL TARGET...");
    source.Words({"LABEL"}, "TARGET");
    for (int i = 0; i < RowCount(kSourceTable); ++i)
        source.completions.emplace_back(LabelAt(kSourceTable, i));
    tree.Targets(source);
    source.run = RunSource;
    source.parse = [&source](const std::vector<std::string>& words, CliOptions& options) {
        if (words.empty())
            source.FailUsage();
        std::string labels;
        for (int i = 0; i < RowCount(kSourceTable); ++i) {
            const std::string label(LabelAt(kSourceTable, i));
            labels += (i ? ", " : "") + label;
            if (Lower(label) == Lower(words[0]))
                options.sourceLabel = label;
        }
        if (options.sourceLabel.empty())
            Fail("unknown source \"" + words[0] + "\"; the sources are " + labels);
        TakeTargets(words, 1, options);
        NeedTargets(options, "source");
    };
}

void AddGroupSet(CommandTree& tree) {
    CLI::App* group = tree.AddFamily("group", "Projector groups: group set",
                                     "group set GROUP [--name NAME] TARGET...");
    CliCommand& set =
        tree.Add(group, "set", "group set", Command::GroupSet,
                 "Move projectors into GROUP (\"\" takes them out of every group) and add GROUP to "
                 "the console's group list. The projector keeps its name unless --name gives one.",
                 "group set GROUP [--name NAME] TARGET...");
    set.Words({"GROUP"}, "TARGET");
    auto& name = tree.Keep<std::vector<std::string>>();
    AddValue(set.app, "--name", name,
             "New projector name (at most " + std::to_string(kTextFieldWidth) + " bytes)", "NAME")
        ->check(Check(CheckProjectorName));
    tree.Targets(set);
    set.run = RunGroupSet;
    set.parse = [&set, &name](const std::vector<std::string>& words, CliOptions& options) {
        if (Given(name))
            options.projectorName = name.back();
        if (words.empty())
            set.FailUsage();
        options.groupName = words[0];
        if (std::string why = CheckGroupName(options.groupName); !why.empty())
            Fail(why);
        TakeTargets(words, 1, options);
        NeedTargets(options, "group set");
    };
}

void AddQueryAndSend(CommandTree& tree) {
    CliCommand& query = tree.Add(&tree.app, "query", "query", Command::Query,
                                 "Print a projector's raw reply to a query.", "query TOPIC IP");
    query.Words({"TOPIC", "IP"});
    query.completions.assign(std::begin(kTopics), std::end(kTopics));
    query.run = RunQuery;
    query.parse = [&query](const std::vector<std::string>& words, CliOptions& options) {
        if (words.size() != 2)
            query.FailUsage();
        if (std::find(std::begin(kTopics), std::end(kTopics), words[0]) == std::end(kTopics)) {
            Fail("unknown topic \"" + words[0] +
                 "\"; the topics are info, group, model, control, network, user, alert");
        }
        options.topic = words[0];
        TakeSingleTarget(words, 1, options, query);
    };

    CliCommand& send =
        tree.Add(&tree.app, "send", "send", Command::Send,
                 "Post a raw request body to a projector and print its raw reply.", "send BODY IP");
    send.Words({"BODY", "IP"});
    send.run = RunSend;
    send.parse = [&send](const std::vector<std::string>& words, CliOptions& options) {
        if (words.size() != 2)
            send.FailUsage();
        options.body = words[0];
        if (options.body.empty())
            Fail("send needs a body such as \"command=~0000 1\"");
        TakeSingleTarget(words, 1, options, send);
    };
}

}  // namespace

void AddProjectorCommands(CommandTree& tree) {
    AddDiscover(tree);
    AddStatus(tree);
    AddPower(tree);
    AddSource(tree);
    AddGroupSet(tree);
    AddQueryAndSend(tree);
}

}  // namespace vistrel::cli
