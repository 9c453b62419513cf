// The options every command takes: output form, time limit, network profile and store.
#include <algorithm>

#include "cli/commands.h"

namespace vistrel::cli {
namespace {

std::string CheckPort(const std::string& option, const std::string& text) {
    long long port = 0;
    if (ParseInt(text, 1, 65535, port))
        return {};
    return option + " needs a port number from 1 to 65535, not \"" + text + "\"";
}

std::string CheckAppName(const std::string& name) {
    if (name.empty() || name.size() > 200 || name.find_first_of("\\/") != std::string::npos ||
        std::any_of(name.begin(), name.end(),
                    [](unsigned char c) { return c < 0x20 || c == 0x7F; })) {
        return "--app-name needs the console's executable name, such as vistrel";
    }
    return {};
}

}  // namespace

void AddSharedOptions(CommandTree& tree) {
    CLI::App* app = &tree.app;
    SharedOptions& o = tree.shared;
    AddFlag(app, "--json", o.json, "Print listings as JSON");
    AddFlag(app, "--csv", o.csv, "Print listings as CSV");
    AddValue(app, "--timeout", o.timeout, "Time limit of one projector exchange (default 8000)",
             "MS")
        ->check(Check([](const std::string& text) -> std::string {
            long long ms = 0;
            if (ParseInt(text, 1, 300000, ms))
                return {};
            return "--timeout needs milliseconds from 1 to 300000, not \"" + text + "\"";
        }));
    AddValue(app, "--broadcast", o.broadcast,
             "Discovery broadcast address; repeat it for directed broadcasts such as "
             "10.1.2.255 (default 255.255.255.255 and the addresses of \"config broadcast\")",
             "ADDR")
        ->check(Check([](const std::string& text) { return CheckAddress("--broadcast", text); }));
    AddValue(app, "--bind", o.bind, "Local address of the discovery socket (default 0.0.0.0)",
             "ADDR")
        ->check(Check([](const std::string& text) { return CheckAddress("--bind", text); }));
    AddValue(app, "--discovery-port", o.discoveryPort, "Discovery UDP port (default 250)", "N")
        ->check(Check([](const std::string& text) { return CheckPort("--discovery-port", text); }));
    AddValue(app, "--http-port", o.httpPort, "Projector web-control port (default 80)", "N")
        ->check(Check([](const std::string& text) { return CheckPort("--http-port", text); }));
    AddValue(app, "--pjlink-port", o.pjlinkPort, "PJLink projectors' control port (default 4352)",
             "N")
        ->check(Check([](const std::string& text) { return CheckPort("--pjlink-port", text); }));
    AddValue(app, "--app-name", o.appName,
             "Application key of the store: the console executable's name (default vistrel)",
             "NAME")
        ->check(Check(CheckAppName));
    AddValue(app, "--store", o.store,
             "Store file (default $XDG_CONFIG_HOME/Brightwerk/registry.reg, or "
             "~/.config/Brightwerk/registry.reg)",
             "FILE")
        ->check(Check([](const std::string& file) -> std::string {
            return file.empty() ? "--store needs a file name" : "";
        }));
}

void ApplySharedOptions(const CommandTree& tree, const CliCommand& command, CliOptions& options) {
    // The last of a repeated option counts, except --broadcast, which adds.
    const SharedOptions& o = tree.shared;
    if (Given(o.timeout))
        options.timeoutMs = std::stoi(o.timeout.back());
    for (const std::string& address : o.broadcast) {
        NetworkProfile& profile = options.profile;
        if (!options.broadcastGiven) {
            profile.broadcastAddress = address;
            options.broadcastGiven = true;
        } else if (address != profile.broadcastAddress &&
                   std::find(profile.directedBroadcasts.begin(), profile.directedBroadcasts.end(),
                             address) == profile.directedBroadcasts.end()) {
            profile.directedBroadcasts.push_back(address);
        }
    }
    if (Given(o.bind))
        options.profile.bindAddress = o.bind.back();
    if (Given(o.discoveryPort))
        options.profile.discoveryPort = static_cast<uint16_t>(std::stoi(o.discoveryPort.back()));
    if (Given(o.httpPort))
        options.profile.httpPort = static_cast<uint16_t>(std::stoi(o.httpPort.back()));
    if (Given(o.pjlinkPort))
        options.profile.pjlinkPort = static_cast<uint16_t>(std::stoi(o.pjlinkPort.back()));
    if (Given(o.appName))
        options.appName = o.appName.back();
    if (Given(o.store))
        options.storeFile = o.store.back();
    if (o.json && o.csv)
        Fail("--json and --csv exclude each other");
    options.format = o.json ? OutputFormat::Json : o.csv ? OutputFormat::Csv : OutputFormat::Table;

    const SelectionOptions& s = tree.selection;
    double seconds = 0;
    if (Given(s.wait) && ParseSeconds(s.wait.back(), seconds))
        options.waitSeconds = seconds;
    // Target selection of the commands that take targets; --group of the schedule commands
    // names a stored group instead.
    if (command.takesTargets) {
        if (s.group.size() > 1)
            Fail("--group may be given once");
        if (Given(s.group))
            options.targetGroup = s.group.back();
        options.ticked = s.ticked;
        options.all = s.all;
    }
}

}  // namespace vistrel::cli
