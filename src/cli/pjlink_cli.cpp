// pjlink add, remove, list, scan and password: the PJLink projectors the console talks to by
// address, and their passwords. The other commands (status, power, source, get, set, health)
// reach these projectors by the same target names as the console's own.
#include "cli/commands.h"
#include "cli/pjlink_commands.h"
#include "pjlink/pjlink_scan.h"
#include "protocol/host_address.h"

namespace vistrel::cli {
namespace {

void TakeAddresses(const std::vector<std::string>& words, const std::string& what,
                   CliOptions& options) {
    if (words.empty())
        Fail(what + " needs at least one projector address");
    for (const std::string& word : words) {
        if (!IsUsableHostAddress(word)) {
            Fail(what + ": \"" + word +
                 "\" is not the address of one projector; give IPv4 addresses such as "
                 "192.168.1.20");
        }
        if (std::find(options.pjlinkAddresses.begin(), options.pjlinkAddresses.end(), word) ==
            options.pjlinkAddresses.end()) {
            options.pjlinkAddresses.push_back(word);
        }
    }
}

CLI::Option* AddGroupOption(CliCommand& command, std::vector<std::string>& into) {
    return AddValue(command.app, "--group", into,
                    "The group the console keeps for them (PJLink projectors have none)", "NAME")
        ->check(Check([](const std::string& name) { return CheckGroupName(name); }));
}

}  // namespace

void AddPjlinkCommands(CommandTree& tree) {
    CLI::App* family =
        tree.AddFamily("pjlink",
                       "PJLink projectors of other makers: pjlink add, remove, list, scan, "
                       "password",
                       "pjlink add ADDR... | remove ADDR... | list | scan SUBNET | password");

    struct PjlinkOptions {
        std::vector<std::string> addGroup, scanGroup, projector;
        bool scanAdd = false;
    };
    PjlinkOptions& given = tree.Keep<PjlinkOptions>();

    CliCommand& add = tree.Add(
        family, "add", "pjlink add", Command::PjlinkAdd,
        "Remember PJLink projectors by address, so that the console window, status, power, "
        "source, get, set and health reach them. Class-1 projectors cannot be searched for: "
        "add them here or with \"pjlink scan --add\". --group gives them a group of the "
        "console's (also to projectors already known).",
        "pjlink add ADDR... [--group NAME]");
    add.Words({}, "ADDR");
    add.app->footer("Example:\n  vistrel-cli pjlink add 10.1.2.30 10.1.2.31 --group \"Hall B\"");
    AddGroupOption(add, given.addGroup);
    add.run = RunPjlinkAdd;
    add.parse = [&given](const std::vector<std::string>& words, CliOptions& options) {
        TakeAddresses(words, "pjlink add", options);
        if (Given(given.addGroup))
            options.pjlinkGroup = given.addGroup.back();
    };

    CliCommand& remove =
        tree.Add(family, "remove", "pjlink remove", Command::PjlinkRemove,
                 "Forget PJLink projectors added by address.", "pjlink remove ADDR...");
    remove.Words({}, "ADDR");
    remove.run = RunPjlinkRemove;
    remove.parse = [](const std::vector<std::string>& words, CliOptions& options) {
        TakeAddresses(words, "pjlink remove", options);
    };

    CliCommand& list = tree.Add(family, "list", "pjlink list", Command::PjlinkList,
                                "List the PJLink projectors the console knows by address, with "
                                "their group and which password they use (never the password).",
                                "pjlink list");
    list.Words({});
    list.run = RunPjlinkList;
    list.parse = [&list](const std::vector<std::string>& words, CliOptions&) {
        if (!words.empty())
            list.FailUsage();
    };

    CliCommand& scan = tree.Add(
        family, "scan", "pjlink scan", Command::PjlinkScan,
        "Try every address of SUBNET (at most a /16) on the PJLink port and list those that "
        "greet as PJLink projectors. Nothing is sent to them: each connection is closed after "
        "the greeting. A /24 takes a few seconds. --add remembers what was found.",
        "pjlink scan SUBNET [--add] [--group NAME]");
    scan.Words({"SUBNET"});
    scan.app->footer("Example:\n  vistrel-cli pjlink scan 10.1.2.0/24 --add");
    AddFlag(scan.app, "--add", given.scanAdd, "Remember the projectors found");
    AddGroupOption(scan, given.scanGroup);
    scan.run = RunPjlinkScan;
    scan.parse = [&scan, &given](const std::vector<std::string>& words, CliOptions& options) {
        if (words.size() != 1)
            scan.FailUsage();
        std::string why;
        if (!pjlink::SubnetHosts(words[0], why))
            Fail("pjlink scan: " + why);
        options.scanSubnet = words[0];
        options.scanAdd = given.scanAdd;
        if (Given(given.scanGroup)) {
            if (!given.scanAdd)
                Fail("pjlink scan: --group goes with --add");
            options.pjlinkGroup = given.scanGroup.back();
        }
    };

    CliCommand& password = tree.Add(
        family, "password", "pjlink password", Command::PjlinkPassword,
        "Set the PJLink password of the whole fleet, or of one projector with --projector, "
        "from a line of standard input (not echoed at a terminal). An empty line removes it. "
        "Passwords are kept in a file of their own beside the store, readable only by you, "
        "and never printed.",
        "pjlink password [--projector ADDR]");
    password.Words({});
    password.app->footer(
        "Example:\n  vistrel-cli pjlink password --projector 10.1.2.30 < secret.txt");
    AddValue(password.app, "--projector", given.projector,
             "The projector whose own password this is", "ADDR")
        ->check(Check([](const std::string& text) -> std::string {
            if (IsUsableHostAddress(text))
                return {};
            return "--projector needs the address of one projector, not \"" + text + "\"";
        }));
    password.run = RunPjlinkPassword;
    password.parse = [&password, &given](const std::vector<std::string>& words,
                                         CliOptions& options) {
        if (!words.empty())
            password.FailUsage();
        if (Given(given.projector))
            options.passwordProjector = given.projector.back();
    };
}

}  // namespace vistrel::cli
