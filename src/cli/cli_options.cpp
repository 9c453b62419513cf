#include "cli/cli_options.h"

#include <arpa/inet.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include "metrics/metrics_endpoint.h"
#include "protocol/option_tables.h"

namespace vistrel::cli {
namespace {

constexpr size_t kNameFieldBytes = 32;
constexpr size_t kMacChars = 12;
// The window's view of every projector; its tasks are kept under this name.
constexpr const char* kAllProjectorsLabel = "All Projectors";
constexpr const char* kSeeHelp = " (see \"vistrel-cli --help\")";
constexpr const char* kTopics[] = {"info", "group", "model", "control", "network", "user", "alert"};

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

[[noreturn]] void Fail(const std::string& message) {
    throw UsageError(message + kSeeHelp);
}

bool ParseInt(const std::string& text, long long min, long long max, long long& value) {
    if (text.empty())
        return false;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && value >= min && value <= max;
}

struct GivenOption {
    std::string name;
    std::string value;
};

uint16_t ParsePort(const GivenOption& o) {
    long long v = 0;
    if (!ParseInt(o.value, 1, 65535, v)) {
        Fail(o.name + " needs a port number from 1 to 65535, not \"" + o.value + "\"");
    }
    return static_cast<uint16_t>(v);
}

std::string ParseAddress(const GivenOption& o) {
    if (!IsDottedQuad(o.value)) {
        Fail(o.name + " needs an IPv4 address such as 192.168.1.255, not \"" + o.value + "\"");
    }
    return o.value;
}

int ParsePeriod(const std::string& text) {
    static const char* names[] = {"once", "daily", "weekly", "monthly"};
    const std::string lower = Lower(text);
    for (int i = 0; i < 4; ++i) {
        if (lower == names[i])
            return i;
    }
    Fail("--period must be once, daily, weekly or monthly, not \"" + text + "\"");
}

int ParseTaskCommand(const std::string& text) {
    const std::string lower = Lower(text);
    if (lower == "on" || lower == "power-on" || lower == "power_on")
        return 0;
    if (lower == "off" || lower == "power-off" || lower == "power_off")
        return 1;
    Fail("--command must be on or off, not \"" + text + "\"");
}

void ParseTime(const std::string& text, TaskEdit& edit) {
    long long h = 0, m = 0, s = 0;
    const auto bad = [&] {
        Fail("--time needs HH:MM or HH:MM:SS (24-hour), not \"" + text + "\"");
    };
    const size_t c1 = text.find(':');
    if (c1 == std::string::npos)
        bad();
    const size_t c2 = text.find(':', c1 + 1);
    const std::string hs = text.substr(0, c1);
    const std::string ms =
        text.substr(c1 + 1, c2 == std::string::npos ? std::string::npos : c2 - c1 - 1);
    if (!ParseInt(hs, 0, 23, h) || ms.size() != 2 || !ParseInt(ms, 0, 59, m))
        bad();
    if (c2 != std::string::npos) {
        const std::string ss = text.substr(c2 + 1);
        if (ss.size() != 2 || !ParseInt(ss, 0, 59, s))
            bad();
    }
    edit.hour = static_cast<int>(h);
    edit.minute = static_cast<int>(m);
    edit.second = static_cast<int>(s);
}

void ParseDate(const std::string& text, TaskEdit& edit) {
    long long y = 0, mo = 0, d = 0;
    const auto bad = [&] { Fail("--date needs YYYY-MM-DD, not \"" + text + "\""); };
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        bad();
    if (!ParseInt(text.substr(0, 4), 1970, 2105, y) || !ParseInt(text.substr(5, 2), 1, 12, mo) ||
        !ParseInt(text.substr(8, 2), 1, 31, d)) {
        bad();
    }
    static const int days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (d > days[mo - 1] || (mo == 2 && d == 29 && !leap))
        Fail(text + " is not a calendar date");
    edit.year = static_cast<int>(y);
    edit.month = static_cast<int>(mo);
    edit.day = static_cast<int>(d);
}

// ---- The command tree ----------------------------------------------------------------------
//
// One definition of every command and option serves the parser, --help and the completion
// script. Values are taken as text and checked below, so that every message says what to
// type instead.

struct SubCommand {
    CLI::App* app = nullptr;
    Command command = Command::Help;
    std::string words;  // "group set"
    std::string usage;  // after "usage: vistrel-cli "
    bool takesTargets = false;
    // Positional arguments in order; `fixed` ones take one word each, the last may take many.
    std::vector<std::pair<CLI::Option*, std::string*>> fixed;
    CLI::Option* rest = nullptr;
    std::vector<std::string> fixedValues = std::vector<std::string>(3);
    std::vector<std::string> restValues;
    // Words the shell may offer after the command (sources, topics, settings).
    std::vector<std::string> completions;
};

// Usage lines that name the program and the command's words, as people type them.
class UsageFormatter : public CLI::Formatter {
  public:
    std::map<const CLI::App*, std::string> usages;

    std::string make_usage(const CLI::App* app, std::string name) const override {
        const auto it = usages.find(app);
        if (it == usages.end())
            return CLI::Formatter::make_usage(app, std::move(name));
        return get_label("Usage") + ": vistrel-cli " + it->second + "\n";
    }
};

struct CommandTree {
    std::shared_ptr<UsageFormatter> formatter = std::make_shared<UsageFormatter>();
    CLI::App app{"vistrel-cli - the projector console's jobs from a shell", "vistrel-cli"};
    std::vector<std::unique_ptr<SubCommand>> subs;

    // Shared options.
    bool json = false, csv = false;
    std::vector<std::string> timeout, broadcast, bind, discoveryPort, httpPort, appName, store;
    // Command options; each command that has one binds its own option to the same value.
    std::vector<std::string> wait, name, projector, group, task, period, time, date, command;
    std::vector<std::string> only, include, smtpPassword, metrics;
    bool ticked = false, all = false, enable = false, disable = false, dryRun = false, list = false;

    CommandTree();
    SubCommand& Add(CLI::App* parent, const std::string& name, const std::string& words,
                    Command command, const std::string& description, const std::string& usage);
    void Words(SubCommand& sub, const std::vector<std::string>& fixedNames,
               const std::string& restName = {});
    void Targets(SubCommand& sub);
    void Wait(SubCommand& sub, const std::string& what);
    SubCommand* Selected();
    SubCommand* Find(const CLI::App* app);
    std::vector<std::string> CommandsWithOption(const std::string& name) const;
};

// A value per occurrence, never the words after it: "--group Lab 10.0.0.5" keeps the address.
CLI::Option* AddValue(CLI::App* app, const std::string& names, std::vector<std::string>& into,
                      const std::string& help, const std::string& type) {
    return app->add_option(names, into, help)->allow_extra_args(false)->option_text(type);
}

CLI::Option* AddFlag(CLI::App* app, const std::string& names, bool& into, const std::string& help) {
    return app->add_flag(names, into, help)->disable_flag_override();
}

CommandTree::CommandTree() {
    app.set_help_flag("-h,--help",
                      "Print this help and exit (after a command: that command's help)");
    app.set_version_flag("--version", std::string("vistrel-cli ") + VISTREL_VERSION,
                         "Print the version and exit");
    app.allow_extras();  // reported below with our own words
    app.require_subcommand(0, 1);
    formatter->column_width(30);
    formatter->usages[&app] = "[OPTIONS] COMMAND [ARGUMENTS]";
    app.formatter(formatter);

    AddFlag(&app, "--json", json, "Print listings as JSON");
    AddFlag(&app, "--csv", csv, "Print listings as CSV");
    AddValue(&app, "--timeout", timeout, "Time limit of one projector exchange (default 8000)",
             "MS");
    AddValue(&app, "--broadcast", broadcast,
             "Discovery broadcast address; repeat it for directed broadcasts such as "
             "10.1.2.255 (default 255.255.255.255 and the addresses of \"config broadcast\")",
             "ADDR");
    AddValue(&app, "--bind", bind, "Local address of the discovery socket (default 0.0.0.0)",
             "ADDR");
    AddValue(&app, "--discovery-port", discoveryPort, "Discovery UDP port (default 250)", "N");
    AddValue(&app, "--http-port", httpPort, "Projector web-control port (default 80)", "N");
    AddValue(&app, "--app-name", appName,
             "Application key of the store: the console executable's name (default vistrel)",
             "NAME");
    AddValue(&app, "--store", store,
             "Store file (default $XDG_CONFIG_HOME/Brightwerk/registry.reg, or "
             "~/.config/Brightwerk/registry.reg)",
             "FILE");

    SubCommand& discover = Add(&app, "discover", "discover", Command::Discover,
                               "Broadcast a discovery probe and list the MAC and address of every "
                               "projector that answers within SECONDS (default 2).",
                               "discover [--wait SECONDS]");
    Wait(discover, "Seconds to collect answers");

    SubCommand& status =
        Add(&app, "status", "status", Command::Status,
            "Query projectors (every projector that answers discovery when no target is given) "
            "and list MAC, IP, group, name, power, source, lamp hours, display mode and "
            "firmware.",
            "status [TARGET...]");
    Words(status, {}, "TARGET");
    Targets(status);
    Wait(status, "Seconds to wait for discovery answers");

    SubCommand& power = Add(&app, "power", "power", Command::Power,
                            "Switch projectors on or off. With --wait, ask each projector until "
                            "it reports the requested state (off also accepts standby).",
                            "power on|off TARGET... [--wait SECONDS]");
    Words(power, {"on|off"}, "TARGET");
    power.completions = {"on", "off"};
    Targets(power);
    Wait(power, "Seconds to wait for every projector to reach the state");

    SubCommand& source = Add(&app, "source", "source", Command::Source, "Select an input source.",
                             "source LABEL TARGET...");
    Words(source, {"LABEL"}, "TARGET");
    for (int i = 0; i < RowCount(kSourceTable); ++i)
        source.completions.emplace_back(LabelAt(kSourceTable, i));
    Targets(source);

    CLI::App* groupApp = app.add_subcommand("group", "Projector groups: group set");
    formatter->usages[groupApp] = "group set GROUP [--name NAME] TARGET...";
    groupApp->fallthrough();
    groupApp->group("Commands");
    groupApp->require_subcommand(0, 1);
    SubCommand& groupSet =
        Add(groupApp, "set", "group set", Command::GroupSet,
            "Move projectors into GROUP (\"\" takes them out of every group) and add GROUP to "
            "the console's group list. The projector keeps its name unless --name gives one.",
            "group set GROUP [--name NAME] TARGET...");
    Words(groupSet, {"GROUP"}, "TARGET");
    AddValue(groupSet.app, "--name", name, "New projector name (at most 32 bytes)", "NAME");
    Targets(groupSet);

    SubCommand& query = Add(&app, "query", "query", Command::Query,
                            "Print a projector's raw reply to a query.", "query TOPIC IP");
    Words(query, {"TOPIC", "IP"});
    query.completions.assign(std::begin(kTopics), std::end(kTopics));

    SubCommand& send =
        Add(&app, "send", "send", Command::Send,
            "Post a raw request body to a projector and print its raw reply.", "send BODY IP");
    Words(send, {"BODY", "IP"});

    SubCommand& set =
        Add(&app, "set", "set", Command::Set,
            "Change settings of projectors, given as NAME=VALUE. Settings of one record go out "
            "together; what is not given keeps the projector's value (the user password is "
            "cleared unless given). Passwords are read from standard input (NAME=-, one line "
            "each) or a file (NAME=@FILE), never from the command line. ip= moves one projector "
            "to a fixed address and waits (--wait, default 30 s) until discovery finds it there.",
            "set NAME=VALUE... TARGET...");
    Words(set, {}, "NAME=VALUE|TARGET");
    for (const SettingName& s : Settings().All())
        set.completions.push_back(s.name + "=");
    Targets(set);
    Wait(set, "Seconds to wait for a moved projector to answer from its new address");
    std::string settingsHelp = "\nSETTINGS\n";
    for (const SettingName& s : Settings().All()) {
        const bool action = s.def && s.def->kind == vistrel::SettingKind::Action;
        std::string entry = "  " + s.name + (action ? "" : "=" + ValueSpec(s));
        entry.resize(std::max<size_t>(entry.size() + 1, 34), ' ');
        settingsHelp += entry + s.help + "\n";
    }
    set.app->footer(settingsHelp +
                    "\nEXAMPLES\n"
                    "  vistrel-cli set dhcp=off ip=10.1.2.40 mask=255.255.255.0 "
                    "gateway=10.1.2.1 192.168.1.20\n"
                    "  printf '%s\\n' \"$PW\" | vistrel-cli set admin-access=on "
                    "admin-password=- --group Lab\n"
                    "  vistrel-cli set mail-to=av@example.org alert-lamp-fail=on --ticked\n"
                    "  vistrel-cli set auto-power-off=30 brightness=80 --group Lecture\n"
                    "  vistrel-cli set display-mode=Movie resync 192.168.1.20\n");

    SubCommand& get =
        Add(&app, "get", "get", Command::Get,
            "Read settings of the settings pages from projectors and list each with its value "
            "(every readable setting when none is named).",
            "get TARGET... [SETTING...]");
    Words(get, {}, "TARGET|SETTING");
    for (const SettingDef& def : AllSettings()) {
        if (def.width > 0 && !def.groupVariant)
            get.completions.emplace_back(def.name);
    }
    Targets(get);

    SubCommand& settingsList =
        Add(&app, "settings", "settings", Command::SettingsList,
            "List every setting name that get and set know, with its values or range.",
            "settings --list");
    AddFlag(settingsList.app, "--list", list, "List the settings");

    SubCommand& exportCmd =
        Add(&app, "export", "export", Command::Export,
            "Write every readable setting of one projector as JSON to standard output, for "
            "import.",
            "export TARGET");
    Words(exportCmd, {"TARGET"});

    SubCommand& importCmd =
        Add(&app, "import", "import", Command::Import,
            "Apply the settings of an export file to projectors: the picture, display and "
            "settings pages and the alert settings. The identity (projector name, group and "
            "projector ID) and the network are applied only when asked with --include, each to "
            "exactly one projector (a fixed address moves it, followed as with set ip=; DHCP on "
            "may go to many). The SMTP password is never in the file: --smtp-password - or "
            "@FILE gives one, else each projector keeps its own. A value a projector's model "
            "does not offer fails that projector before anything is sent to it. --dry-run "
            "prints the request bodies instead of sending them.",
            "import FILE TARGET... [--only PART,...] [--include identity|network] "
            "[--smtp-password -|@FILE] [--dry-run] [--wait SECONDS]");
    Words(importCmd, {"FILE"}, "TARGET");
    AddValue(importCmd.app, "--only", only,
             "Apply only these parts (comma-separated or repeated): picture, display, settings, "
             "alert, identity, network",
             "PART");
    AddValue(importCmd.app, "--include", include,
             "Also apply these parts, left out unless asked: identity, network", "PART");
    AddValue(importCmd.app, "--smtp-password", smtpPassword,
             "Where the SMTP password for the alert settings comes from: - (a line of standard "
             "input) or @FILE",
             "-|@FILE");
    AddFlag(importCmd.app, "--dry-run", dryRun, "Print the bodies instead of sending them");
    Targets(importCmd);
    Wait(importCmd, "Seconds to wait for a projector that the network part moves");
    importCmd.app->footer(
        "\nEXAMPLES\n"
        "  vistrel-cli import room.json --group Lecture\n"
        "  vistrel-cli import room.json 192.168.1.21 192.168.1.22 --only picture,alert\n"
        "  vistrel-cli import room.json 192.168.1.21 --only alert --smtp-password @smtp.pw\n"
        "  vistrel-cli import spare.json 192.168.1.30 --include identity,network --wait 30\n");

    SubCommand& alertTest =
        Add(&app, "alert-test", "alert-test", Command::AlertTest,
            "Ask projectors to send a test alert mail with their stored alert settings.",
            "alert-test TARGET...");
    Words(alertTest, {}, "TARGET");
    Targets(alertTest);

    CLI::App* scheduleApp =
        app.add_subcommand("schedule", "Stored power tasks: schedule list, schedule set");
    formatter->usages[scheduleApp] = "schedule list|set ...";
    scheduleApp->fallthrough();
    scheduleApp->group("Commands");
    scheduleApp->require_subcommand(0, 1);
    SubCommand& scheduleList =
        Add(scheduleApp, "list", "schedule list", Command::ScheduleList,
            "List the stored power tasks (all projectors and groups, or one).",
            "schedule list [--projector MAC | --group NAME]");
    AddValue(scheduleList.app, "--projector", projector, "Projector identity", "MAC");
    AddValue(scheduleList.app, "--group", group, "Group name", "NAME");
    SubCommand& scheduleSet = Add(
        scheduleApp, "set", "schedule set", Command::ScheduleSet,
        "Change task N (1 to 4). Unchanged fields keep their stored values; the next due moment "
        "is the date at the time, local time. With --group the group's task is written and "
        "copied to each --projector, as the console's group settings do.",
        "schedule set (--projector MAC... | --group NAME) --task N [changes]");
    AddValue(scheduleSet.app, "--projector", projector, "Projector identity (repeatable)", "MAC");
    AddValue(scheduleSet.app, "--group", group, "Group name", "NAME");
    AddValue(scheduleSet.app, "--task", task, "Task number, 1 to 4", "N");
    AddFlag(scheduleSet.app, "--enable", enable, "Enable the task");
    AddFlag(scheduleSet.app, "--disable", disable, "Disable the task");
    AddValue(scheduleSet.app, "--period", period, "once, daily, weekly or monthly", "PERIOD");
    AddValue(scheduleSet.app, "--time", time, "Time of day, 24-hour", "HH:MM[:SS]");
    AddValue(scheduleSet.app, "--date", date, "Date", "YYYY-MM-DD");
    AddValue(scheduleSet.app, "--command", command, "on or off", "on|off");

    SubCommand& runSchedules = Add(
        &app, "run-schedules", "run-schedules", Command::RunSchedules,
        "Run headless: discover projectors on the console's refresh interval and fire their due "
        "tasks until interrupted. Only one program fires tasks for a store at a time; this one "
        "waits and takes over when the other ends. A console window that opens meanwhile gets "
        "the role and the discovery port until it closes.",
        "run-schedules [--metrics [ADDRESS:]PORT]");
    AddValue(runSchedules.app, "--metrics", metrics,
             "Also poll the projectors' status (while this program has them) and serve the fleet "
             "as Prometheus metrics at http://ADDRESS:PORT/metrics (address 127.0.0.1 unless "
             "given)",
             "[ADDRESS:]PORT");

    CLI::App* configApp =
        app.add_subcommand("config", "The console's stored configuration: config broadcast");
    formatter->usages[configApp] = "config broadcast list | add ADDR... | remove ADDR...";
    configApp->fallthrough();
    configApp->group("Commands");
    configApp->require_subcommand(0, 1);
    SubCommand& broadcastConfig =
        Add(configApp, "broadcast", "config broadcast", Command::ConfigBroadcast,
            "List, add or remove the directed broadcast addresses (such as 10.1.2.255) that the "
            "console window, run-schedules and discovery probe besides 255.255.255.255, to find "
            "projectors beyond a router.",
            "config broadcast list | add ADDR... | remove ADDR...");
    Words(broadcastConfig, {"list|add|remove"}, "ADDR");
    broadcastConfig.completions = {"list", "add", "remove"};

    SubCommand& completion =
        Add(&app, "completion", "completion", Command::Completion,
            "Print the shell completion script: source <(vistrel-cli completion bash)",
            "completion bash");
    Words(completion, {"SHELL"});
    completion.completions = {"bash"};

    SubCommand& help = Add(&app, "help", "help", Command::Help,
                           "Print the help of the program or of a command.", "help [COMMAND...]");
    Words(help, {}, "COMMAND");

    app.footer(R"HELP(TARGETS
  Projectors are named by IPv4 address or by their 12-character identity (MAC, as
  "discover" lists it), or selected with --group NAME (the group they report), --ticked
  (the projectors ticked in the console window) or --all (every projector that answers
  discovery). Identities and selections are resolved by discovery; a projector that does
  not answer is reported as not found. Commands to several projectors go to all of them at
  once and report each one's result.

EXIT STATUS
  0  every projector succeeded
  1  some projector failed (unreachable, time-out, unexpected reply, not found)
  2  usage error, or the environment stops the command (discovery port unavailable,
     store unusable); the reason and the remedy are printed on standard error

Discovery uses UDP port 250, which needs root or the CAP_NET_BIND_SERVICE capability:
  sudo setcap cap_net_bind_service=+ep "$(command -v vistrel-cli)"

"vistrel-cli COMMAND --help" explains a command.

EXAMPLES
  vistrel-cli discover --wait 3
  vistrel-cli status --csv > fleet.csv
  vistrel-cli power off --group "Lecture Hall" --wait 60
  vistrel-cli source HDMI 192.168.1.20 00A0B1C2D3E4
  vistrel-cli group set "Lecture Hall" --name "Left" 192.168.1.20
  vistrel-cli query info 192.168.1.20
  vistrel-cli send "command=~0000 1" 192.168.1.20
  vistrel-cli set dhcp=on --ticked
  vistrel-cli alert-test --all
  vistrel-cli config broadcast add 10.1.2.255
  vistrel-cli schedule set --projector 00A0B1C2D3E4 --task 1 --enable --period daily \
      --time 22:00 --date 2026-01-05 --command off
  vistrel-cli run-schedules
)HELP");
}

SubCommand& CommandTree::Add(CLI::App* parent, const std::string& name, const std::string& words,
                             Command command, const std::string& description,
                             const std::string& usage) {
    auto sub = std::make_unique<SubCommand>();
    sub->app = parent->add_subcommand(name, description);
    sub->app->fallthrough();  // shared options may follow the command
    sub->app->group("Commands");
    sub->command = command;
    sub->words = words;
    sub->usage = usage;
    formatter->usages[sub->app] = usage + " [OPTIONS]";
    subs.push_back(std::move(sub));
    return *subs.back();
}

void CommandTree::Words(SubCommand& sub, const std::vector<std::string>& fixedNames,
                        const std::string& restName) {
    for (size_t i = 0; i < fixedNames.size(); ++i) {
        CLI::Option* o = sub.app->add_option(fixedNames[i], sub.fixedValues[i])->option_text("");
        sub.fixed.emplace_back(o, &sub.fixedValues[i]);
    }
    if (!restName.empty())
        sub.rest = sub.app->add_option(restName, sub.restValues)->option_text("...");
}

void CommandTree::Targets(SubCommand& sub) {
    sub.takesTargets = true;
    AddValue(sub.app, "--group", group, "The projectors that report this group", "NAME");
    AddFlag(sub.app, "--ticked", ticked, "The projectors ticked in the console window");
    AddFlag(sub.app, "--all", all, "Every projector that answers discovery");
}

void CommandTree::Wait(SubCommand& sub, const std::string& what) {
    AddValue(sub.app, "--wait", wait, what, "SECONDS");
}

SubCommand* CommandTree::Find(const CLI::App* which) {
    for (auto& sub : subs) {
        if (sub->app == which)
            return sub.get();
    }
    return nullptr;
}

SubCommand* CommandTree::Selected() {
    const CLI::App* at = &app;
    SubCommand* found = nullptr;
    for (;;) {
        const auto chosen = at->get_subcommands();
        if (chosen.empty())
            return found;
        at = chosen.front();
        if (SubCommand* sub = Find(at))
            found = sub;
    }
}

std::vector<std::string> CommandTree::CommandsWithOption(const std::string& optionName) const {
    std::vector<std::string> words;
    for (const auto& sub : subs) {
        if (sub->app->get_option_no_throw(optionName))
            words.push_back(sub->words);
    }
    return words;
}

// The words of the command line that are not options, after the command words.
std::vector<std::string> Positionals(const SubCommand& sub) {
    std::vector<std::string> words;
    for (const auto& [option, value] : sub.fixed) {
        if (option->count() > 0)
            words.push_back(*value);
    }
    words.insert(words.end(), sub.restValues.begin(), sub.restValues.end());
    return words;
}

bool LooksLikeMac(const std::string& word) {
    return word.size() == kMacChars &&
           std::all_of(word.begin(), word.end(), [](unsigned char c) { return std::isalnum(c); });
}

void TakeTargets(const std::vector<std::string>& words, size_t from, CliOptions& options,
                 bool macsAllowed) {
    for (size_t i = from; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (IsDottedQuad(word)) {
            if (std::find(options.ips.begin(), options.ips.end(), word) == options.ips.end())
                options.ips.push_back(word);
        } else if (macsAllowed && LooksLikeMac(word)) {
            if (std::find(options.targetMacs.begin(), options.targetMacs.end(), word) ==
                options.targetMacs.end()) {
                options.targetMacs.push_back(word);
            }
        } else {
            Fail("\"" + word +
                 "\" is not a projector address; give IPv4 addresses such as 192.168.1.20" +
                 (macsAllowed ? " or identities such as 00A0B1C2D3E4" : ""));
        }
    }
}

void NeedTargets(const CliOptions& options, const std::string& what) {
    if (options.ips.empty() && !NeedsTargetResolution(options)) {
        Fail(what +
             " needs at least one projector address (or an identity, --group, --ticked "
             "or --all)");
    }
}

// The one projector of query and send.
void TakeSingleTarget(const std::vector<std::string>& words, size_t from, CliOptions& options,
                      const std::string& usage) {
    if (words.size() != from + 1)
        Fail("usage: vistrel-cli " + usage);
    TakeTargets(words, from, options, true);
}

const std::string& Last(const std::vector<std::string>& values) {
    return values.back();
}

// Messages for what CLI11 reports in its own words.
std::string Rephrase(const CLI::Error& e) {
    const std::string what = e.what();
    if (e.get_name() == "ArgumentMismatch") {
        const size_t colon = what.find(':');
        if (what.find("flag override") != std::string::npos) {
            std::string name = what.substr(0, what.find(' '));
            if (name.rfind("-", 0) != 0)
                name = "--" + name;
            return name + " takes no value";
        }
        if (colon != std::string::npos && what.find("required") != std::string::npos)
            return what.substr(0, colon) + " needs a value";
    }
    return what;
}

}  // namespace

bool IsDottedQuad(const std::string& text) {
    in_addr addr{};
    return text.size() <= 15 && inet_pton(AF_INET, text.c_str(), &addr) == 1;
}

std::string CheckGroupName(const std::string& name, bool allowAllProjectors) {
    if (name.size() > kNameFieldBytes) {
        return "group name \"" + name + "\" is " + std::to_string(name.size()) +
               " bytes long; projectors store at most 32";
    }
    if (name.find('\\') != std::string::npos) {
        return "group name \"" + name + "\" contains a backslash, which a group name cannot hold";
    }
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7F)
            return "group name contains a control character";
    }
    if (!allowAllProjectors && Lower(name) == Lower(kAllProjectorsLabel)) {
        return "\"" + name + "\" is the name of the view of every projector, not a group";
    }
    return {};
}

std::string CheckProjectorName(const std::string& name) {
    if (name.size() > kNameFieldBytes) {
        return "projector name \"" + name + "\" is " + std::to_string(name.size()) +
               " bytes long; projectors store at most 32";
    }
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7F)
            return "projector name contains a control character";
    }
    return {};
}

std::string CheckMac(const std::string& mac) {
    if (mac.size() != 12) {
        return "\"" + mac +
               "\" is not a projector identity: it has 12 characters, as "
               "\"vistrel-cli discover\" shows them";
    }
    for (unsigned char c : mac) {
        if (c <= 0x20 || c == 0x7F || c == '\\' || c >= 0x80) {
            return "\"" + mac +
                   "\" is not a projector identity: it holds a blank, a backslash "
                   "or another character that an identity never has";
        }
    }
    return {};
}

bool NeedsTargetResolution(const CliOptions& options) {
    return !options.targetMacs.empty() || options.targetGroup || options.ticked || options.all;
}

std::string TopLevelHelp() {
    CommandTree tree;
    return tree.app.help();
}

std::string ShortUsage() {
    CommandTree tree;
    std::string commands;
    for (const auto& sub : tree.subs)
        commands += (commands.empty() ? "" : ", ") + sub->words;
    return "usage: vistrel-cli COMMAND [OPTIONS]\ncommands: " + commands +
           "\n\"vistrel-cli --help\" explains each with examples.\n";
}

CliOptions ParseArguments(const std::vector<std::string>& args) {
    CliOptions options;
    CommandTree tree;

    // Everything after "--" is a word, even when it begins with a dash.
    std::vector<std::string> head = args;
    std::vector<std::string> tail;
    if (const auto dashes = std::find(args.begin(), args.end(), "--"); dashes != args.end()) {
        head.assign(args.begin(), dashes);
        tail.assign(dashes + 1, args.end());
    }
    std::vector<std::string> reversed(head.rbegin(), head.rend());
    try {
        tree.app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        const SubCommand* sub = tree.Selected();
        options.command = Command::Help;
        options.text = sub ? sub->app->help() : tree.app.help();
        return options;
    } catch (const CLI::CallForVersion&) {
        options.command = Command::Version;
        options.text = std::string("vistrel-cli ") + VISTREL_VERSION + "\n";
        return options;
    } catch (const CLI::Error& e) {
        Fail(Rephrase(e));
    }

    SubCommand* sub = tree.Selected();
    if (!sub) {
        for (CLI::App* group : tree.app.get_subcommands()) {
            Fail("usage: vistrel-cli " + group->get_name() + " " +
                 (group->get_name() == "schedule" ? "list|set"
                  : group->get_name() == "config" ? "broadcast"
                                                  : "set") +
                 " ...");
        }
        if (!tree.app.remaining().empty() && tree.app.remaining().front().rfind("-", 0) != 0)
            Fail("unknown command \"" + tree.app.remaining().front() + "\"");
        if (tree.app.remaining().empty())
            Fail("no command given");
    }

    // Options and words that no definition took.
    for (const std::string& extra : tree.app.remaining(true)) {
        if (extra == "--")
            continue;
        if (extra.size() > 1 && extra[0] == '-') {
            const std::string optionName = extra.substr(0, extra.find('='));
            const auto owners = tree.CommandsWithOption(optionName);
            if (owners.empty() || !sub)
                Fail("unknown option " + optionName);
            std::string list;
            for (const std::string& owner : owners)
                list += (list.empty() ? "" : ", ") + owner;
            if (std::find(owners.begin(), owners.end(), sub->words) != owners.end())
                Fail(optionName + " goes after the command: vistrel-cli " + sub->usage);
            Fail(optionName + " belongs to " + list + ", not to " + sub->words);
        }
        if (!sub)
            Fail("unknown command \"" + extra + "\"");
        Fail("usage: vistrel-cli " + sub->usage);
    }

    options.command = sub->command;
    std::vector<std::string> words = Positionals(*sub);
    words.insert(words.end(), tail.begin(), tail.end());

    // Shared options; the last of a repeated one counts, except --broadcast, which adds.
    const auto given = [](const std::vector<std::string>& v) { return !v.empty(); };
    long long v = 0;
    if (given(tree.timeout)) {
        if (!ParseInt(Last(tree.timeout), 1, 300000, v)) {
            Fail("--timeout needs milliseconds from 1 to 300000, not \"" + Last(tree.timeout) +
                 "\"");
        }
        options.timeoutMs = static_cast<int>(v);
    }
    for (const std::string& address : tree.broadcast) {
        ParseAddress({"--broadcast", address});
        if (!options.broadcastGiven) {
            options.profile.broadcastAddress = address;
            options.broadcastGiven = true;
        } else if (address != options.profile.broadcastAddress &&
                   std::find(options.profile.directedBroadcasts.begin(),
                             options.profile.directedBroadcasts.end(),
                             address) == options.profile.directedBroadcasts.end()) {
            options.profile.directedBroadcasts.push_back(address);
        }
    }
    if (given(tree.bind))
        options.profile.bindAddress = ParseAddress({"--bind", Last(tree.bind)});
    if (given(tree.discoveryPort))
        options.profile.discoveryPort = ParsePort({"--discovery-port", Last(tree.discoveryPort)});
    if (given(tree.httpPort))
        options.profile.httpPort = ParsePort({"--http-port", Last(tree.httpPort)});
    if (given(tree.appName)) {
        const std::string& name = Last(tree.appName);
        if (name.empty() || name.size() > 200 || name.find_first_of("\\/") != std::string::npos ||
            std::any_of(name.begin(), name.end(),
                        [](unsigned char c) { return c < 0x20 || c == 0x7F; })) {
            Fail("--app-name needs the console's executable name, such as vistrel");
        }
        options.appName = name;
    }
    if (given(tree.store)) {
        if (Last(tree.store).empty())
            Fail("--store needs a file name");
        options.storeFile = Last(tree.store);
    }
    if (tree.json && tree.csv)
        Fail("--json and --csv exclude each other");
    options.format = tree.json  ? OutputFormat::Json
                     : tree.csv ? OutputFormat::Csv
                                : OutputFormat::Table;
    if (given(tree.wait)) {
        const std::string& text = Last(tree.wait);
        double seconds = 0;
        auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), seconds);
        if (ec != std::errc() || ptr != text.data() + text.size() || !std::isfinite(seconds) ||
            seconds < 0 || seconds > 3600) {
            Fail("--wait needs seconds from 0 to 3600, not \"" + text + "\"");
        }
        options.waitSeconds = seconds;
    }
    if (given(tree.name)) {
        if (std::string why = CheckProjectorName(Last(tree.name)); !why.empty())
            Fail(why);
        options.projectorName = Last(tree.name);
    }

    // Target selection of the commands that take targets; --group of the schedule commands
    // names a stored group instead.
    if (sub->takesTargets) {
        if (tree.group.size() > 1)
            Fail("--group may be given once");
        if (given(tree.group)) {
            if (std::string why = CheckGroupName(Last(tree.group)); !why.empty())
                Fail(why);
            options.targetGroup = Last(tree.group);
        }
        options.ticked = tree.ticked;
        options.all = tree.all;
    }

    switch (options.command) {
        case Command::Help: {
            std::string asked;
            for (const std::string& w : words)
                asked += (asked.empty() ? "" : " ") + w;
            options.text = tree.app.help();
            for (const auto& s : tree.subs) {
                if (s->words == asked)
                    options.text = s->app->help();
            }
            break;
        }
        case Command::Discover:
            if (!words.empty())
                Fail("usage: vistrel-cli " + sub->usage);
            break;
        case Command::Status:
            TakeTargets(words, 0, options, true);
            break;
        case Command::Power:
            if (words.empty() || (words[0] != "on" && words[0] != "off"))
                Fail("usage: vistrel-cli power on|off IP... [--wait SECONDS]");
            options.powerOn = words[0] == "on";
            TakeTargets(words, 1, options, true);
            NeedTargets(options, "power " + words[0]);
            break;
        case Command::Source: {
            if (words.empty())
                Fail("usage: vistrel-cli " + sub->usage);
            std::string labels;
            for (int i = 0; i < RowCount(kSourceTable); ++i) {
                const std::string label(LabelAt(kSourceTable, i));
                labels += (i ? ", " : "") + label;
                if (Lower(label) == Lower(words[0]))
                    options.sourceLabel = label;
            }
            if (options.sourceLabel.empty())
                Fail("unknown source \"" + words[0] + "\"; the sources are " + labels);
            TakeTargets(words, 1, options, true);
            NeedTargets(options, "source");
            break;
        }
        case Command::GroupSet:
            if (words.empty())
                Fail("usage: vistrel-cli " + sub->usage);
            options.groupName = words[0];
            if (std::string why = CheckGroupName(options.groupName); !why.empty())
                Fail(why);
            TakeTargets(words, 1, options, true);
            NeedTargets(options, "group set");
            break;
        case Command::Query: {
            if (words.size() != 2)
                Fail("usage: vistrel-cli " + sub->usage);
            if (std::find(std::begin(kTopics), std::end(kTopics), words[0]) == std::end(kTopics)) {
                Fail("unknown topic \"" + words[0] +
                     "\"; the topics are info, group, model, control, network, user, alert");
            }
            options.topic = words[0];
            TakeSingleTarget(words, 1, options, sub->usage);
            break;
        }
        case Command::Send:
            if (words.size() != 2)
                Fail("usage: vistrel-cli " + sub->usage);
            options.body = words[0];
            if (options.body.empty())
                Fail("send needs a body such as \"command=~0000 1\"");
            TakeSingleTarget(words, 1, options, sub->usage);
            break;
        case Command::Set: {
            std::vector<std::string> targets;
            std::set<std::string> seen;
            for (const std::string& w : words) {
                if (w.find('=') == std::string::npos && !Settings().Find(w)) {
                    targets.push_back(w);
                    continue;
                }
                SettingAssignment a = ParseAssignment(w);
                if (!seen.insert(a.name).second)
                    Fail(a.name + " is given twice");
                options.assignments.push_back(std::move(a));
            }
            if (options.assignments.empty())
                Fail("set needs at least one NAME=VALUE, such as dhcp=on");
            TakeTargets(targets, 0, options, true);
            NeedTargets(options, "set");
            const bool userRecord =
                std::any_of(options.assignments.begin(), options.assignments.end(),
                            [](const SettingAssignment& a) {
                                return Settings().Find(a.name)->record == SettingRecord::User;
                            });
            if (userRecord && !seen.count("admin-password")) {
                // The access record carries the administrator password; sending it without
                // one would clear it.
                Fail(
                    "access settings go out with the administrator password: give "
                    "admin-password=- or admin-password=@FILE as well");
            }
            const bool fixed = seen.count("ip") > 0;
            for (const char* part : {"mask", "gateway", "dns"}) {
                if (seen.count(part) && !fixed)
                    Fail(std::string(part) + "= belongs to a fixed address: give ip= with it");
            }
            if (fixed) {
                for (const SettingAssignment& a : options.assignments) {
                    if (a.name == "dhcp" && a.value == "on")
                        Fail("ip= gives a fixed address, which dhcp=on contradicts");
                }
                if (options.ips.size() + options.targetMacs.size() != 1 || options.targetGroup ||
                    options.ticked || options.all) {
                    Fail("ip= moves one projector: give exactly one address or identity");
                }
            }
            break;
        }
        case Command::AlertTest:
            TakeTargets(words, 0, options, true);
            NeedTargets(options, "alert-test");
            break;
        case Command::Get: {
            std::vector<std::string> targets;
            for (const std::string& w : words) {
                const SettingName* setting = Settings().Find(w);
                if (!setting) {
                    targets.push_back(w);
                    continue;
                }
                if (!setting->def || setting->def->width == 0)
                    Fail(setting->name + " cannot be read back from a projector");
                if (std::find(options.settingNames.begin(), options.settingNames.end(),
                              setting->name) == options.settingNames.end()) {
                    options.settingNames.push_back(setting->name);
                }
            }
            TakeTargets(targets, 0, options, true);
            NeedTargets(options, "get");
            break;
        }
        case Command::SettingsList:
            if (!words.empty() || !tree.list)
                Fail("usage: vistrel-cli " + sub->usage);
            break;
        case Command::Export:
            TakeSingleTarget(words, 0, options, sub->usage);
            break;
        case Command::Import: {
            if (words.empty())
                Fail("usage: vistrel-cli " + sub->usage);
            options.importFile = words[0];
            TakeTargets(words, 1, options, true);
            NeedTargets(options, "import");
            // Each PART value may list several parts, comma-separated.
            const auto parts = [&](const std::vector<std::string>& given, const char* option,
                                   size_t first) {
                std::set<std::string> chosen;
                for (const std::string& value : given) {
                    std::stringstream words(value);
                    for (std::string part; std::getline(words, part, ',');) {
                        part = Lower(part);
                        const auto known = std::find(std::begin(kImportParts) + first,
                                                     std::end(kImportParts), part);
                        if (known == std::end(kImportParts)) {
                            std::string names;
                            for (auto it = std::begin(kImportParts) + first;
                                 it != std::end(kImportParts); ++it) {
                                names += (names.empty() ? "" : ", ") + std::string(*it);
                            }
                            Fail(std::string(option) + " takes " + names + ", not \"" + part +
                                 "\"");
                        }
                        chosen.insert(part);
                    }
                }
                return chosen;
            };
            std::set<std::string> chosen;
            if (given(tree.only)) {
                chosen = parts(tree.only, "--only", 0);
            } else {
                chosen.insert(std::begin(kImportParts),
                              std::begin(kImportParts) + kDefaultImportParts);
            }
            for (const std::string& part : parts(tree.include, "--include", kDefaultImportParts))
                chosen.insert(part);
            for (const char* part : kImportParts) {
                if (chosen.count(part))
                    options.importParts.emplace_back(part);
            }
            if (given(tree.smtpPassword)) {
                const std::string& source = Last(tree.smtpPassword);
                if (source != "-" && (source.size() < 2 || source[0] != '@')) {
                    Fail(
                        "--smtp-password is never taken from the command line: give - to read it "
                        "from standard input, or @FILE");
                }
                options.smtpPasswordSource = source;
            }
            options.dryRun = tree.dryRun;
            break;
        }
        case Command::ScheduleList:
        case Command::ScheduleSet: {
            if (!words.empty())
                Fail("usage: vistrel-cli " + sub->usage);
            for (const std::string& mac : tree.projector) {
                if (std::string why = CheckMac(mac); !why.empty())
                    Fail(why);
                if (options.command == Command::ScheduleList && !options.projectorMacs.empty())
                    Fail("schedule list takes one --projector");
                options.projectorMacs.push_back(mac);
            }
            if (tree.group.size() > 1)
                Fail("--group may be given once");
            if (given(tree.group)) {
                if (Last(tree.group).empty())
                    Fail("--group needs a group name");
                if (std::string why = CheckGroupName(Last(tree.group), true); !why.empty())
                    Fail(why);
                options.scheduleGroup = Last(tree.group);
            }
            if (given(tree.task)) {
                if (!ParseInt(Last(tree.task), 1, 4, v))
                    Fail("--task needs a task number from 1 to 4");
                options.edit.task = static_cast<int>(v);
            }
            if (tree.enable && tree.disable)
                Fail("--enable and --disable exclude each other");
            if (tree.enable || tree.disable)
                options.edit.enabled = tree.enable;
            if (given(tree.period))
                options.edit.period = ParsePeriod(Last(tree.period));
            if (given(tree.time))
                ParseTime(Last(tree.time), options.edit);
            if (given(tree.date))
                ParseDate(Last(tree.date), options.edit);
            if (given(tree.command))
                options.edit.command = ParseTaskCommand(Last(tree.command));
            if (options.command == Command::ScheduleList && !options.projectorMacs.empty() &&
                options.scheduleGroup) {
                Fail("schedule list takes --projector or --group, not both");
            }
            if (options.command == Command::ScheduleSet) {
                if (options.projectorMacs.empty() && !options.scheduleGroup)
                    Fail("schedule set needs --projector MAC or --group NAME");
                if (options.edit.task == 0)
                    Fail("schedule set needs --task N (1 to 4)");
            }
            break;
        }
        case Command::RunSchedules:
            if (!words.empty())
                Fail("usage: vistrel-cli " + sub->usage);
            if (!tree.metrics.empty()) {
                std::string why;
                if (!metrics::ParseListenAddress(Last(tree.metrics), &why))
                    Fail("--metrics needs [ADDRESS:]PORT: " + why);
                options.metrics = Last(tree.metrics);
            }
            break;
        case Command::ConfigBroadcast: {
            const std::string action = words.empty() ? "list" : words[0];
            if (action == "list") {
                options.configAction = ConfigAction::List;
                if (words.size() > 1)
                    Fail("usage: vistrel-cli " + sub->usage);
                break;
            }
            if (action != "add" && action != "remove")
                Fail("usage: vistrel-cli " + sub->usage);
            options.configAction = action == "add" ? ConfigAction::Add : ConfigAction::Remove;
            if (words.size() < 2)
                Fail("config broadcast " + action + " needs at least one address");
            for (size_t i = 1; i < words.size(); ++i) {
                ParseAddress({"config broadcast " + action, words[i]});
                options.configAddresses.push_back(words[i]);
            }
            break;
        }
        case Command::Completion:
            if (words.size() != 1 || words[0] != "bash")
                Fail("usage: vistrel-cli completion bash");
            options.text = BashCompletion();
            break;
        case Command::Version:
            break;
    }
    return options;
}

namespace {

std::string OptionWords(const CLI::App& app, bool withHelp) {
    std::string words;
    for (const CLI::Option* o : app.get_options()) {
        if (!withHelp && o == app.get_help_ptr())
            continue;
        for (const std::string& n : o->get_lnames())
            words += " --" + n;
        for (const std::string& n : o->get_snames())
            words += " -" + n;
    }
    return words;
}

void CompletionCases(CommandTree& tree, CLI::App& app, const std::string& path,
                     const std::string& shared, std::string& names, std::string& cases) {
    std::string words;
    for (CLI::App* child : app.get_subcommands([](CLI::App*) { return true; })) {
        words += " " + child->get_name();
        const std::string childPath = path + "/" + child->get_name();
        names += (names.empty() ? "" : "|") + childPath;
        CompletionCases(tree, *child, childPath, shared, names, cases);
    }
    if (SubCommand* sub = tree.Find(&app)) {
        for (const std::string& w : sub->completions)
            words += " " + w;
    }
    if (&app != &tree.app)
        words += OptionWords(app, false);
    cases += "        \"" + path + "\") words=\"" + words.substr(words.empty() ? 0 : 1) + shared +
             "\" ;;\n";
}

}  // namespace

std::string BashCompletion() {
    CommandTree tree;
    const std::string shared = OptionWords(tree.app, true);
    std::string names, cases;
    CompletionCases(tree, tree.app, "", shared, names, cases);
    return "# bash completion for vistrel-cli; made by \"vistrel-cli completion bash\"\n"
           "_vistrel_cli() {\n"
           "    local cur=\"${COMP_WORDS[COMP_CWORD]}\" path=\"\" words w i\n"
           "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
           "        w=\"${COMP_WORDS[i]}\"\n"
           "        case \"$path/$w\" in\n"
           "        " +
           names +
           ") path=\"$path/$w\" ;;\n"
           "        esac\n"
           "    done\n"
           "    case \"$path\" in\n" +
           cases +
           "    esac\n"
           "    COMPREPLY=($(compgen -W \"$words\" -- \"$cur\"))\n"
           "    # A setting name ends in '=': its value follows without a blank.\n"
           "    if [[ ${#COMPREPLY[@]} -eq 1 && ${COMPREPLY[0]} == *= ]]; then\n"
           "        compopt -o nospace 2>/dev/null\n"
           "    fi\n"
           "}\n"
           "complete -F _vistrel_cli vistrel-cli\n";
}

}  // namespace vistrel::cli
